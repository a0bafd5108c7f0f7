#include "platform/MessageBox.h"

#include "platform/MessageLoop.h"

namespace platform {
namespace {

std::mutex g_presenterMutex;
std::shared_ptr<MessageBoxPresenter> g_presenter;

} // namespace

void SetMessageBoxPresenter(std::shared_ptr<MessageBoxPresenter> presenter) {
    std::lock_guard lock(g_presenterMutex);
    g_presenter = std::move(presenter);
}

MessageBoxAnswer FirstButton(MessageBoxButtons buttons) {
    switch (buttons) {
    case MessageBoxButtons::YesNo:
    case MessageBoxButtons::YesNoCancel:
        return MessageBoxAnswer::Yes;
    case MessageBoxButtons::RetryCancel:
        return MessageBoxAnswer::Retry;
    default:
        return MessageBoxAnswer::Ok;
    }
}

MessageBoxAnswer ShowMessageBox(const std::string& text, MessageBoxButtons buttons,
                                MessageBoxIcon icon, const std::string& caption) {
    std::shared_ptr<MessageBoxPresenter> presenter;
    {
        std::lock_guard lock(g_presenterMutex);
        presenter = g_presenter;
    }
    if (!presenter) {
        return FirstButton(buttons);
    }
    MessageBoxRequest request{text, caption, buttons, icon};
    MessageBoxAnswer answer = FirstButton(buttons);
    MessageLoop::Instance().Invoke([&] { answer = presenter->Present(request); });
    return answer;
}

MessageBoxAnswer ScriptedMessageBoxes::Present(const MessageBoxRequest& request) {
    std::lock_guard lock(m_mutex);
    m_shown.push_back(request);
    if (m_answers.empty()) {
        return FirstButton(request.buttons);
    }
    MessageBoxAnswer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void ScriptedMessageBoxes::QueueAnswer(MessageBoxAnswer answer) {
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<MessageBoxRequest> ScriptedMessageBoxes::Shown() const {
    std::lock_guard lock(m_mutex);
    return m_shown;
}

} // namespace platform
