// Callbacks that cross the library boundary: an object word and a member-function word,
// copyable, comparable, testable for emptiness, never allocating. A free or static function is
// bound by storing its address in the object word and calling it through a small invoker.
#pragma once

#include <utility>

namespace fastdelegate {
namespace detail {

// Placeholder class every bound member function pointer is cast to. The member-function
// pointer representation of the Itanium C++ ABI is the same for all classes, which makes
// the cast back on call safe on every compiler this project builds with.
class GenericClass {};

template <class R, class... P>
class DelegateImpl {
    using GenericMemFn = R (GenericClass::*)(P...);
    using StaticFn = R (*)(P...);

    // Called with `this` holding the static function's address.
    class StaticInvoker {
    public:
        R invoke(P... args) { return (reinterpret_cast<StaticFn>(this))(std::forward<P>(args)...); }
    };

public:
    DelegateImpl() = default;

    template <class X, class Y>
    DelegateImpl(Y* object, R (X::*method)(P...))
        : object_(static_cast<X*>(object)), method_(reinterpret_cast<GenericMemFn>(method)) {}

    template <class X, class Y>
    DelegateImpl(const Y* object, R (X::*method)(P...) const)
        : object_(const_cast<X*>(static_cast<const X*>(object))),
          method_(reinterpret_cast<GenericMemFn>(method)) {}

    DelegateImpl(StaticFn function) {
        if (function != nullptr) {
            object_ = reinterpret_cast<void*>(function);
            method_ = reinterpret_cast<GenericMemFn>(&StaticInvoker::invoke);
        }
    }

    explicit operator bool() const { return method_ != nullptr; }
    bool operator!() const { return method_ == nullptr; }
    bool empty() const { return method_ == nullptr; }
    void clear() { *this = DelegateImpl(); }

    bool operator==(const DelegateImpl& other) const {
        return object_ == other.object_ && method_ == other.method_;
    }
    bool operator!=(const DelegateImpl& other) const { return !(*this == other); }

    R operator()(P... args) const {
        return (reinterpret_cast<GenericClass*>(object_)->*method_)(std::forward<P>(args)...);
    }

private:
    void* object_ = nullptr;
    GenericMemFn method_ = nullptr;
};

}  // namespace detail

template <class R = void>
class FastDelegate0 : public detail::DelegateImpl<R> {
public:
    using detail::DelegateImpl<R>::DelegateImpl;
};

template <class P1, class R = void>
class FastDelegate1 : public detail::DelegateImpl<R, P1> {
public:
    using detail::DelegateImpl<R, P1>::DelegateImpl;
};

template <class P1, class P2, class R = void>
class FastDelegate2 : public detail::DelegateImpl<R, P1, P2> {
public:
    using detail::DelegateImpl<R, P1, P2>::DelegateImpl;
};

}  // namespace fastdelegate
