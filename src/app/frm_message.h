#pragma once
// The message window that the rebuilds show while they work: an icon, the current phase and a status bar.

#include "engine/rebuild_progress.h"
#include "platform/controls.h"
#include "platform/form.h"

#include <QLabel>

namespace app {

class frmMessage : public platform::Form {
    Q_OBJECT
public:
    frmMessage();

    QLabel* Image1 = nullptr;
    platform::Label* lblMessage = nullptr;
    platform::StatusBar* stsBar = nullptr;

protected:
    void Form_Load() override;
    void Form_Resize() override;
    void Form_Unload(int& cancel) override;

    // Keeps stsBar along the bottom edge, and writes each new window caption as a status line when headless.
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool loaded_ = false;
    int minHeight_ = 0;  // twips, of the client area
    int minWidth_ = 0;   // twips, of the client area
};

// The program-wide reference to the message window.
inline platform::FormRef<frmMessage> gfrmMessage;

// A rebuild's progress in the message window, through gfrmMessage. Begin sets the window's caption, makes
// stsBar visible, shows the window without modality (owned by owner when given) and repaints it; a phase is
// the caption of lblMessage, a counter the text of stsBar, each repainted at once; End unloads the window.
class MessageWindowProgress final : public engine::RebuildProgress {
public:
    explicit MessageWindowProgress(platform::Form* owner = nullptr) : owner_(owner) {}
    void Begin(const QString& caption) override;
    void SetPhase(const QString& text) override;
    void SetCounter(const QString& text) override;
    void End() override;

private:
    platform::Form* owner_;
};

}  // namespace app
