// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>
#include <utility>

// What a step that may fail hands back: a value, or a failure with a message
// for whoever catches it. The program reports failures in captions only, so
// the message is for tests and debugging.
struct Failure
{
    QString message;
};

template <typename T>
class [[nodiscard]] Outcome
{
public:
    Outcome(T value) : m_value(std::move(value)) {}
    Outcome(Failure failure) : m_failure(std::move(failure.message)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const { return *m_value; }
    T take() { return std::move(*m_value); }
    const QString& failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    QString m_failure;
};

template <>
class [[nodiscard]] Outcome<void>
{
public:
    Outcome() = default;
    Outcome(Failure failure) : m_ok(false), m_failure(std::move(failure.message)) {}

    bool ok() const { return m_ok; }
    explicit operator bool() const { return ok(); }
    const QString& failure() const { return m_failure; }

private:
    bool m_ok = true;
    QString m_failure;
};

using Status = Outcome<void>;
