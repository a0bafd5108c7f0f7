#pragma once

// Message boxes through one interface. The program installs a presenter that
// shows real dialogs on the user-interface thread; a worker's call is carried
// over to that thread and waits for the answer. Tests install a scripted one.

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

enum class MessageBoxButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class MessageBoxIcon { None, Information, Warning, Error, Question };

// Numbered as the answers of the message boxes the program was written for.
enum class MessageBoxAnswer { Ok = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7 };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    MessageBoxButtons buttons = MessageBoxButtons::Ok;
    MessageBoxIcon icon = MessageBoxIcon::None;
};

class MessageBoxPresenter {
public:
    virtual ~MessageBoxPresenter() = default;
    // Called on the user-interface thread.
    virtual MessageBoxAnswer Present(const MessageBoxRequest& request) = 0;
};

void SetMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter);

// The caption defaults to the application name. With no presenter installed
// the box answers with its first button.
MessageBoxAnswer ShowMessageBox(const std::string& text,
                                MessageBoxButtons buttons = MessageBoxButtons::Ok,
                                MessageBoxIcon icon = MessageBoxIcon::None,
                                const std::string& caption = "Orvanta");

MessageBoxAnswer FirstButton(MessageBoxButtons buttons);

// Records every request and answers from a script (then with the first button).
class ScriptedMessageBoxes : public MessageBoxPresenter {
public:
    MessageBoxAnswer Present(const MessageBoxRequest& request) override;
    void QueueAnswer(MessageBoxAnswer answer);
    std::vector<MessageBoxRequest> Shown() const;

private:
    mutable std::mutex m_mutex;
    std::deque<MessageBoxAnswer> m_answers;
    std::vector<MessageBoxRequest> m_shown;
};

} // namespace platform
