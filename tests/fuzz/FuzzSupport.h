#pragma once

#include "Clock.h"
#include "Dialogs.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The entry point every reader target defines; libFuzzer calls it with each
// generated input, and the replay program with each file of the corpus.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace sonavel::fuzz {

// The application object the readers need (a GUI one for the rich-text
// codec's fonts), made once per process on the offscreen platform.
void EnsureApplication(bool gui);

// A folder of this process's own, removed when the process ends.
QString ScratchFolder();

// Writes bytes to a file in the scratch folder and returns its path.
QString WriteScratchFile(const QString& name, const QByteArray& bytes);

inline QByteArray Bytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A broken promise of a reader: printed and turned into a crash, which is what
// libFuzzer records as a finding and the replay test reports as a failure.
[[noreturn]] inline void Fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "fuzz finding: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

// Nobody sits at a fuzzed reader: every question is answered the accepting
// way, and a file dialog chooses the file the target set.
class AcceptingDialogs final : public Dialogs {
  public:
    MsgResult Message(const MessageRequest& request) override;
    std::optional<QString> FileDialog(const FileDialogRequest&) override { return chosenFile; }
    QString BrowseForFolder(const QString&, const QString&) override { return {}; }
    bool PrinterDialog(int) override { return false; }
    bool PrintSetupDialog(int) override { return false; }
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override {
        return {};
    }
    std::optional<std::int32_t> ColorDialog(std::int32_t) override { return {}; }

    std::optional<QString> chosenFile;
    int messages = 0;
};

// Time stands still: a reader's result must not depend on when it ran.
class StillClock final : public Clock {
  public:
    QDateTime Now() const override;
};

}  // namespace sonavel::fuzz
