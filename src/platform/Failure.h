#pragma once

#include <QFileDevice>
#include <QString>

#include <exception>

// The numbers that handlers tell apart. The rest keep whatever the mapping gives them.
namespace FailureNumber {
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int SubscriptOutOfRange = 9;
constexpr int BadFileName = 52;
constexpr int FileNotFound = 53;
constexpr int DiskFull = 61;
constexpr int PermissionDenied = 75;
constexpr int PathNotFound = 76;
constexpr int DeviceIO = 57;
constexpr int CannotCreateObject = 429;
constexpr int ObjectDisconnected = 462;
} // namespace FailureNumber

// A failure of the platform with its number and description. Handlers catch it and decide by
// number; one that reaches the event loop ends the program after the generic report.
class Failure : public std::exception
{
public:
    explicit Failure(int number, QString description = {});

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

    // The standard description of a failure number ("File not found" for 53).
    static QString describe(int number);
    // The one mapping from an operating system error (errno) met while using `path`.
    static Failure fromErrno(int error, const QString& path);
    // The mapping of a failed whole-file save, which Qt reports by its own error and not by
    // errno: a missing folder 76, a refused open or rename 75, a write cut short 61.
    static Failure fromSaveError(QFileDevice::FileError error, const QString& path);

private:
    int m_number;
    QString m_description;
    QByteArray m_what;
};

// A number as message texts show it: one blank before a number that is not negative, a
// minus sign before a negative one (" 76", "-5").
QString formatNumber(int number);
