#include "platform/msgbox.h"

#include "platform/application.h"
#include "platform/event_loop.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <iostream>
#include <string>

namespace platform {

namespace {

struct Button {
    int answer;
    QString name;
    QMessageBox::StandardButton standard;
};

const Button kOK{vbOK, QStringLiteral("OK"), QMessageBox::Ok};
const Button kCancel{vbCancel, QStringLiteral("Cancel"), QMessageBox::Cancel};
const Button kYes{vbYes, QStringLiteral("Yes"), QMessageBox::Yes};
const Button kNo{vbNo, QStringLiteral("No"), QMessageBox::No};

// The buttons of a box, the default one first. A button set this program does not use shows OK alone.
std::vector<Button> ButtonsOf(int buttons) {
    switch (buttons & 0x0f) {
        case vbOKCancel:
            return {kOK, kCancel};
        case vbYesNo:
            return {kYes, kNo};
        case vbYesNoCancel:
            return {kYes, kNo, kCancel};
        default:
            return {kOK};
    }
}

QString IconName(int buttons) {
    switch (buttons & 0x70) {
        case vbCritical:
            return QStringLiteral("critical");
        case vbQuestion:
            return QStringLiteral("question");
        case vbExclamation:
            return QStringLiteral("exclamation");
        case vbInformation:
            return QStringLiteral("information");
        default:
            return {};
    }
}

QMessageBox::Icon QtIcon(int buttons) {
    switch (buttons & 0x70) {
        case vbCritical:
            return QMessageBox::Critical;
        case vbQuestion:
            return QMessageBox::Question;
        case vbExclamation:
            return QMessageBox::Warning;
        case vbInformation:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

void WriteError(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

int AskInWindow(const MessageBoxRequest& request) {
    QMessageBox box(QtIcon(request.buttons), request.title, TerminalText(request.text));
    const std::vector<Button> buttons = ButtonsOf(request.buttons);
    for (const Button& button : buttons)
        box.addButton(button.standard);
    box.setDefaultButton(buttons.front().standard);
    EventLoopScope scope([&box] { box.reject(); });
    box.exec();
    scope.End();
    const auto clicked = box.standardButton(box.clickedButton());
    for (const Button& button : buttons) {
        if (button.standard == clicked)
            return button.answer;
    }
    // Closed without a button (possible only where Qt finds no escape button): the last button is the way
    // out.
    return buttons.back().answer;
}

// The button a typed answer names (its name or first letter, any case), or nothing.
const Button* FindTyped(const std::vector<Button>& buttons, const QString& typed) {
    for (const Button& button : buttons) {
        if (typed.compare(button.name, Qt::CaseInsensitive) == 0 ||
            typed.compare(button.name.left(1), Qt::CaseInsensitive) == 0) {
            return &button;
        }
    }
    return nullptr;
}

// How much a box matters in the journal: a critical box is an error, an exclamation a warning.
Severity SeverityOf(int buttons) {
    switch (buttons & 0x70) {
        case vbCritical:
            return Severity::Error;
        case vbExclamation:
            return Severity::Warning;
        default:
            return Severity::Status;
    }
}

int AskAtTerminal(const MessageBoxRequest& request) {
    const std::vector<Button> buttons = ButtonsOf(request.buttons);
    const Button& preset = buttons.front();
    const QString icon = IconName(request.buttons);
    const QString heading =
        icon.isEmpty() ? request.title : QStringLiteral("%1 (%2)").arg(request.title, icon);
    if (WritesToJournal() && !HasTerminal()) {
        // One entry of the journal per box: its title, its text and the answer taken.
        WriteErrorLine(QStringLiteral("%1: %2 -> %3 (no terminal)").arg(heading, request.text, preset.name),
                       SeverityOf(request.buttons));
        return preset.answer;
    }
    WriteError(QStringLiteral("== %1 ==\n%2\n").arg(heading, TerminalText(request.text)));
    if (!HasTerminal()) {
        WriteError(QStringLiteral("-> %1 (no terminal)\n").arg(preset.name));
        return preset.answer;
    }
    QStringList names;
    for (const Button& button : buttons)
        names << button.name;
    const QString prompt = QStringLiteral("%1? [%2] ").arg(names.join(QStringLiteral(" or ")), preset.name);
    for (;;) {
        WriteError(prompt);
        std::string line;
        if (!std::getline(std::cin, line)) {
            WriteError(QStringLiteral("\n-> %1 (end of input)\n").arg(preset.name));
            return preset.answer;
        }
        const QString typed = QString::fromLocal8Bit(line).trimmed();
        if (typed.isEmpty())
            return preset.answer;
        if (const Button* button = FindTyped(buttons, typed))
            return button->answer;
        WriteError(QStringLiteral("Please answer %1.\n").arg(names.join(QStringLiteral(" or "))));
    }
}

// The answerer of a run without a test's script: a window with a display, the terminal without one.
class StandardAnswerer : public MessageBoxAnswerer {
public:
    int Answer(const MessageBoxRequest& request) override {
        const bool canShowWindow = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
        return !IsHeadless() && canShowWindow ? AskInWindow(request) : AskAtTerminal(request);
    }
};

std::shared_ptr<MessageBoxAnswerer>& CurrentAnswerer() {
    static std::shared_ptr<MessageBoxAnswerer> answerer = std::make_shared<StandardAnswerer>();
    return answerer;
}

}  // namespace

int DefaultAnswer(int buttons) {
    return ButtonsOf(buttons).front().answer;
}

int MsgBox(const QString& text, int buttons, const QString& title) {
    const MessageBoxRequest request{text, buttons, title.isEmpty() ? AppTitle() : title};
    // An answerer replaced while its box is open stays alive until it has answered.
    const std::shared_ptr<MessageBoxAnswerer> answerer = CurrentAnswerer();
    return answerer->Answer(request);
}

void SetMessageBoxAnswerer(std::shared_ptr<MessageBoxAnswerer> answerer) {
    CurrentAnswerer() = answerer ? std::move(answerer) : std::make_shared<StandardAnswerer>();
}

int ScriptedAnswerer::Answer(const MessageBoxRequest& request) {
    shown_.push_back(request);
    if (answers_.empty())
        return DefaultAnswer(request.buttons);
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

}  // namespace platform
