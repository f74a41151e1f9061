// The X window manager's answers to a window's size requests. Qt passes over an answer that leaves the
// window at the size it last reported (a tiling window manager keeps its tile whatever is asked), while
// the widget has already taken the size it asked for; the watch lets the window see such answers.
#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>

class QWidget;

namespace ocu {

class SizeAnswerWatch final : public QAbstractNativeEventFilter {
public:
    // Calls `answered` from the event loop, once Qt has handled it, after each configure notice that a
    // window manager sends for `window` (it sends one for every request it does not carry out as asked).
    SizeAnswerWatch(QWidget& window, std::function<void()> answered);
    ~SizeAnswerWatch() override;
    SizeAnswerWatch(const SizeAnswerWatch&) = delete;
    SizeAnswerWatch& operator=(const SizeAnswerWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QWidget& m_window;
    std::function<void()> m_answered;
};

} // namespace ocu
