#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

namespace sonavel {

// The run-time error numbers that procedures test for by number; everything
// else reaches the operator through ReportError.
namespace err {
constexpr std::int32_t kOverflow = 6;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kBadFileName = 52;
constexpr std::int32_t kFileNotFound = 53;
constexpr std::int32_t kDiskFull = 61;
constexpr std::int32_t kPathFileAccess = 75;
constexpr std::int32_t kPathNotFound = 76;
constexpr std::int32_t kPrinterError = 482;
constexpr std::int32_t kDialogCancelled = 32755;
constexpr std::int32_t kFirstUserError = -2147221503;  // 0x80040001
}  // namespace err

// A failing statement throws this; the error trap of the procedure decides
// whether it is reported, retried or ignored.
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(std::int32_t number, QString description,
                 QString source = QStringLiteral("Sonavel"))
        : std::runtime_error(description.toStdString()),
          m_number(number),
          m_description(std::move(description)),
          m_source(std::move(source)) {}

    std::int32_t Number() const { return m_number; }
    const QString& Description() const { return m_description; }
    const QString& Source() const { return m_source; }

  private:
    std::int32_t m_number;
    QString m_description;
    QString m_source;
};

// The texts the runtime gives its own numbered errors, so that a report reads
// the same whichever statement raised it.
QString StandardErrorDescription(std::int32_t number);

inline RuntimeError MakeError(std::int32_t number, const QString& detail = {}) {
    QString text = StandardErrorDescription(number);
    if (!detail.isEmpty()) text += QStringLiteral(": ") + detail;
    return RuntimeError(number, text);
}

}  // namespace sonavel
