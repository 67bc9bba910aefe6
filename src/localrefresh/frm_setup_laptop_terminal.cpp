// The local-refresh window at a terminal: it shows what the window shows, asks for the folder and the refresh
// line by line, sets the window's controls as a person would, and presses OK.
#include "localrefresh/frm_setup_laptop.h"

#include "platform/application.h"

#include <QStringList>

#include <cstdio>
#include <optional>
#include <string>

namespace localrefresh {

namespace {

const QString kCancel = QStringLiteral("Cancel");

void Write(const QString& text) {
    std::fputs(platform::TerminalText(text).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

// Asks question until the answer names one of choices (the whole word or its first letter, any case); an
// empty line takes preset. Returns the choice, or nothing at the end of input.
std::optional<QString> Ask(std::istream& in, const QString& question, const QStringList& choices,
                           const QString& preset) {
    const QString names = choices.join(QStringLiteral(", "));
    for (;;) {
        Write(question + QStringLiteral(" (") + names + QStringLiteral(") [") + preset +
              QStringLiteral("] "));
        std::string line;
        if (!std::getline(in, line))
            return std::nullopt;
        const QString typed = QString::fromLocal8Bit(line).trimmed();
        if (typed.isEmpty())
            return preset;
        for (const QString& choice : choices) {
            if (typed.compare(choice, Qt::CaseInsensitive) == 0 ||
                typed.compare(choice.left(1), Qt::CaseInsensitive) == 0) {
                return choice;
            }
        }
        Write(QStringLiteral("Please answer ") + names + QStringLiteral(".\n"));
    }
}

}  // namespace

void frmSetupLaptop::AskAtTerminal(std::istream& in) {
    Write(QStringLiteral("== ") + Caption() + QStringLiteral(" ==\n"));
    Write(Frame1[0]->title().trimmed() + QStringLiteral(": ") + lblPrompts[0]->Caption() + QLatin1Char(' ') +
          lblRemoteKSDirectory->Caption() + QLatin1Char('\n'));
    Write(Frame1[1]->title().trimmed() + QStringLiteral(": ") + lblPrompts[1]->Caption() + QLatin1Char(' ') +
          lblLocalKSDirectory->Caption() + QLatin1Char('\n'));

    const std::optional<QString> folder =
        Ask(in, Label1->Caption(), {optRemote->text(), optLocal->text(), kCancel},
            optLocal->isChecked() ? optLocal->text() : optRemote->text());
    if (!folder || *folder == kCancel) {
        Write(QStringLiteral("-> the window is closed without OK\n"));
        Unload();
        return;
    }
    const QString yes = QStringLiteral("Yes");
    const QString no = QStringLiteral("No");
    const std::optional<QString> refresh =
        Ask(in, chkCopy->text() + QLatin1Char('?'), {yes, no, kCancel}, chkCopy->isChecked() ? yes : no);
    if (!refresh || *refresh == kCancel) {
        Write(QStringLiteral("-> the window is closed without OK\n"));
        Unload();
        return;
    }
    (*folder == optLocal->text() ? optLocal : optRemote)->setChecked(true);
    chkCopy->setChecked(*refresh == yes);
    cmdOK_Click();
}

}  // namespace localrefresh
