#pragma once
// Message boxes, answering as the system expects (OK 1, Cancel 2, Yes 6, No 7).
//
// With a display: a real Qt message box. Without one: the text goes to standard error; on a terminal the
// person answers at a prompt (a button's name or its first letter, any case; an empty line takes the default
// button); with no terminal the default button is taken and the answer is written too. Tests install a
// ScriptedAnswerer.

#include <QString>

#include <deque>
#include <memory>
#include <vector>

namespace platform {

// Buttons and icons (added together).
inline constexpr int vbOKOnly = 0;
inline constexpr int vbOKCancel = 1;
inline constexpr int vbYesNoCancel = 3;
inline constexpr int vbYesNo = 4;
inline constexpr int vbCritical = 16;
inline constexpr int vbQuestion = 32;
inline constexpr int vbExclamation = 48;
inline constexpr int vbInformation = 64;

// Answers.
inline constexpr int vbOK = 1;
inline constexpr int vbCancel = 2;
inline constexpr int vbYes = 6;
inline constexpr int vbNo = 7;

struct MessageBoxRequest {
    QString text;
    int buttons = vbOKOnly;  // buttons + icon
    QString title;           // never empty: the application title when the caller gave none
};

class MessageBoxAnswerer {
public:
    virtual ~MessageBoxAnswerer() = default;
    virtual int Answer(const MessageBoxRequest& request) = 0;
};

// The answer that Enter gives: the first button (OK for OK and OK/Cancel, Yes for Yes/No and Yes/No/Cancel).
int DefaultAnswer(int buttons);

// Shows a message box and returns the answer; at the end of a terminal's input, the default button's. Never
// fails.
int MsgBox(const QString& text, int buttons = vbOKOnly, const QString& title = {});

// Replaces the answerer (nullptr restores the default one described above).
void SetMessageBoxAnswerer(std::shared_ptr<MessageBoxAnswerer> answerer);

// For tests: answers from a queue (the default button when the queue is empty) and records every box.
class ScriptedAnswerer : public MessageBoxAnswerer {
public:
    explicit ScriptedAnswerer(std::deque<int> answers = {}) : answers_(std::move(answers)) {}
    int Answer(const MessageBoxRequest& request) override;
    void Push(int answer) { answers_.push_back(answer); }
    const std::vector<MessageBoxRequest>& Shown() const { return shown_; }
    void Clear() { shown_.clear(); }

private:
    std::deque<int> answers_;
    std::vector<MessageBoxRequest> shown_;
};

}  // namespace platform
