#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace sonavel {

class MediaPlayer;

// The estimate's progress window, as the measuring code drives it.
class EstimateProgress {
  public:
    virtual ~EstimateProgress() = default;
    virtual void Show(const QString& caption) = 0;
    virtual void SetLabel(const QString& text) = 0;
    // Also puts the value back to 0.
    virtual void SetRange(int maximum) = 0;
    virtual void SetValue(int value) = 0;
    virtual void EnableOk() = 0;
};

// Whole seconds of one sound file as the player measures it, halves rounded
// to even; 0 when the player cannot tell within the poll bound.
std::int32_t GetSoundFileDuration(MediaPlayer& player, const QString& path, int maxPolls = 10000);

// The average duration of the sound files in a folder, rounded down; nothing
// when the folder has no files, no sound files, or the total overflows.
// `stopped` is asked between files so a closed window can end the run.
std::optional<std::int32_t> AverageSoundFileDuration(MediaPlayer& player, const QString& folder,
                                                     EstimateProgress& progress,
                                                     const std::function<bool()>& stopped = {});

}  // namespace sonavel
