#pragma once
// The camera of the pictures in docs/screenshots: it keeps a picture of a window under a name, the latest one
// taken under that name, and writes them all as PNG files at the end.

#include <QImage>
#include <QObject>
#include <QString>

#include <map>

class QWidget;

namespace screenshots {

class Camera : public QObject {
public:
    explicit Camera(QString folder) : folder_(std::move(folder)) {}

    // Pictures window as a person sees it, under a title bar with its caption (without a window manager the
    // display draws none), and keeps it as name, replacing an earlier one.
    void Take(const QString& name, QWidget& window);
    bool Has(const QString& name) const { return pictures_.count(name) != 0; }
    // Writes every picture to the folder as name + ".png"; false, after naming it on standard error, when one
    // could not be written.
    bool Save() const;

    // Watches for the message window: while it shows a phase, every change of its counter is pictured.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString folder_;
    std::map<QString, QImage> pictures_;
};

}  // namespace screenshots
