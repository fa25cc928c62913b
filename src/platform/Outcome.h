#pragma once

#include <optional>
#include <utility>

// A value, or the failure number that kept it from being made: for failures that the caller
// handles itself, as part of its normal course.
template <typename T> class Outcome
{
public:
    Outcome(T value) : m_value(std::move(value)) {} // NOLINT(google-explicit-constructor)
    static Outcome failed(int number)
    {
        Outcome outcome;
        outcome.m_failure = number;
        return outcome;
    }

    bool ok() const { return m_value.has_value(); }
    const T& value() const { return *m_value; }
    T& value() { return *m_value; }
    // The failure number; 0 when there is a value.
    int failure() const { return m_failure; }

private:
    Outcome() = default;
    std::optional<T> m_value;
    int m_failure = 0;
};
