#pragma once
// TEvent<Args...>: the event type of every component. It is a nullable,
// re-assignable closure of (object, member function), so a handler can be
// detached (`ev = nullptr`), attached again, and a test can ask which handler
// is attached (`ev == closure(form, &Form::Handler)`).
//
// Two events compare equal when they bind the same object and the same member
// function. An event made from a plain callable (`TEvent::Of`) is equal only to
// copies of itself. Invoking an empty event does nothing.
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <type_traits>

namespace detail {
// Identities of events made from plain callables; shared by every event type.
inline std::atomic<unsigned long long> nextEventIdentity{1};
} // namespace detail

template <typename... Args>
class TEvent {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}

    template <class C, class M>
        requires std::is_base_of_v<M, C>
    TEvent(C* object, void (M::*method)(Args...))
        : call_([object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); })
        , object_(static_cast<const void*>(object))
    {
        static_assert(sizeof(method) <= sizeof(Identity), "member pointer too large");
        std::memcpy(identity_.data(), &method, sizeof(method));
    }

    // An event from a plain callable; identity is unique to this value and its copies.
    template <class F>
    static TEvent Of(F&& f)
    {
        TEvent e;
        e.call_ = std::function<void(Args...)>(std::forward<F>(f));
        const unsigned long long id = detail::nextEventIdentity++;
        std::memcpy(e.identity_.data(), &id, sizeof(id));
        return e;
    }

    TEvent& operator=(std::nullptr_t)
    {
        *this = TEvent();
        return *this;
    }

    explicit operator bool() const { return static_cast<bool>(call_); }
    bool Assigned() const { return static_cast<bool>(call_); }

    void operator()(Args... args) const
    {
        if (call_)
            call_(std::forward<Args>(args)...);
    }

    bool operator==(const TEvent& other) const
    {
        if (!call_ || !other.call_)
            return !call_ && !other.call_;
        return object_ == other.object_ && identity_ == other.identity_;
    }
    bool operator==(std::nullptr_t) const { return !call_; }

private:
    using Identity = std::array<unsigned char, 2 * sizeof(void*)>;
    std::function<void(Args...)> call_;
    const void* object_ = nullptr;
    Identity identity_{};
};

// closure(this, &Form::Handler): the event bound to that object's member.
template <class C, class M, class... Args>
TEvent<Args...> closure(C* object, void (M::*method)(Args...))
{
    return TEvent<Args...>(object, method);
}

class TObject;
using TNotifyEvent = TEvent<TObject*>;
