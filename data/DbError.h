#pragma once

#include <QString>

#include <stdexcept>

// A statement the engine refused. Handlers let it pass; the application reports it at the
// event loop with the engine's text.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message);
    QString message() const { return m_message; }

private:
    QString m_message;
};
