#include "screenshots/camera.h"

#include "app/frm_message.h"

#include <QDir>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionTitleBar>
#include <QWidget>

#include <cstdio>

namespace screenshots {

void Camera::Take(const QString& name, QWidget& window) {
    const QPixmap client = window.grab();
    QStyle* style = window.style();
    QStyleOptionTitleBar bar;
    bar.initFrom(&window);
    bar.text = window.windowTitle();
    bar.titleBarFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    bar.titleBarState = Qt::WindowActive;
    bar.state |= QStyle::State_Active;
    bar.subControls =
        QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarMinButton | QStyle::SC_TitleBarCloseButton;
    const int barHeight = style->pixelMetric(QStyle::PM_TitleBarHeight, &bar, &window);
    bar.rect = QRect(0, 0, client.width(), barHeight);

    QImage picture(client.width(), barHeight + client.height(), QImage::Format_RGB32);
    picture.fill(window.palette().color(QPalette::Window));
    QPainter painter(&picture);
    style->drawComplexControl(QStyle::CC_TitleBar, &bar, &painter, &window);
    painter.drawPixmap(0, barHeight, client);
    painter.setPen(window.palette().color(QPalette::Shadow));
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    pictures_[name] = picture;
}

bool Camera::Save() const {
    QDir().mkpath(folder_);
    bool saved = true;
    for (const auto& [name, picture] : pictures_) {
        const QString file = QDir(folder_).filePath(name + QStringLiteral(".png"));
        if (!picture.save(file)) {
            std::fprintf(stderr, "kestrane-screenshots: %s could not be written\n", qPrintable(file));
            saved = false;
        }
    }
    return saved;
}

bool Camera::eventFilter(QObject* watched, QEvent* event) {
    auto* window = qobject_cast<app::frmMessage*>(watched);
    if (window != nullptr && event->type() == QEvent::Show) {
        connect(window->stsBar, &QStatusBar::messageChanged, window, [this, window](const QString& message) {
            if (!message.isEmpty() && !window->lblMessage->Caption().isEmpty())
                Take(QStringLiteral("message-window-agency-scan"), *window);
        });
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace screenshots
