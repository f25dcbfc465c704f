// A value-or-error result, the way every layer below the Python boundary
// reports failure. Exceptions are kept for internal faults and allocation
// failure only; a failure the caller can cause is always a Result.
#pragma once

#include <utility>
#include <variant>

namespace mnemo {

template <class E>
struct Failure {
    E error;
};

template <class E>
Failure<E> fail(E error) {
    return Failure<E>{std::move(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure<E> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return *std::get_if<0>(&state_); }
    const T& value() const& { return *std::get_if<0>(&state_); }
    T&& value() && { return std::move(*std::get_if<0>(&state_)); }

    E& error() & { return *std::get_if<1>(&state_); }
    const E& error() const& { return *std::get_if<1>(&state_); }
    E&& error() && { return std::move(*std::get_if<1>(&state_)); }

private:
    std::variant<T, E> state_;
};

}  // namespace mnemo
