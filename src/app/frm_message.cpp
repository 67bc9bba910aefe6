// The message window: an information icon, the current phase and a status bar along the bottom edge. It
// never becomes smaller than its design size.
#include "app/frm_message.h"

#include "platform/application.h"
#include "platform/window_closing.h"

#include <QApplication>
#include <QEvent>
#include <QStyle>

namespace app {

namespace {

using platform::PixelsToTwips;
using platform::TwipsToPixels;

constexpr int kClientWidth = 6315;  // twips
constexpr int kClientHeight = 1140;
constexpr int kStatusBarHeight = 315;

QRect TwipsRect(int left, int top, int width, int height) {
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

}  // namespace

frmMessage::frmMessage() {
    SetClientSize(kClientWidth, kClientHeight);

    Image1 = new QLabel(this);
    Image1->setGeometry(TwipsRect(240, 120, 480, 480));
    Image1->setPixmap(
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(Image1->size()));

    lblMessage = new platform::Label(this);
    lblMessage->setGeometry(TwipsRect(1110, 270, 4875, 225));
    lblMessage->SetMirrored(true);

    // The counters change once per record: they are not mirrored, so that an unattended run's output stays
    // readable. The caller makes the bar visible.
    stsBar = new platform::StatusBar(this);
    stsBar->setGeometry(TwipsRect(0, kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight));
    stsBar->setVisible(false);
}

void frmMessage::Form_Load() {
    if (loaded_)
        return;
    // The size is remembered and kept as the client area: before the window is first shown it has no frame
    // yet, and the frame keeps its size afterwards.
    minHeight_ = PixelsToTwips(height());
    minWidth_ = PixelsToTwips(width());
    loaded_ = true;
}

void frmMessage::Form_Resize() {
    if (WindowState() != platform::vbNormal)
        return;
    if (PixelsToTwips(width()) < minWidth_)
        resize(TwipsToPixels(minWidth_), height());
    if (PixelsToTwips(height()) < minHeight_)
        resize(width(), TwipsToPixels(minHeight_));
}

void frmMessage::Form_Unload(int& cancel) {
    platform::CloseForm(gfrmMessage);
}

void frmMessage::resizeEvent(QResizeEvent* event) {
    platform::Form::resizeEvent(event);
    const int barHeight = TwipsToPixels(kStatusBarHeight);
    stsBar->setGeometry(0, height() - barHeight, width(), barHeight);
}

void frmMessage::changeEvent(QEvent* event) {
    platform::Form::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange && !windowTitle().isEmpty()) {
        platform::WriteStatusLine(windowTitle());
    }
}

void MessageWindowProgress::Begin(const QString& caption) {
    gfrmMessage->SetCaption(caption);
    gfrmMessage->stsBar->setVisible(true);
    gfrmMessage->Show(platform::vbModeless, owner_);
    gfrmMessage->Refresh();
}

void MessageWindowProgress::SetPhase(const QString& text) {
    gfrmMessage->lblMessage->SetCaption(text);
}

void MessageWindowProgress::SetCounter(const QString& text) {
    gfrmMessage->stsBar->SetSimpleText(text);
}

void MessageWindowProgress::End() {
    gfrmMessage->Unload();
}

}  // namespace app
