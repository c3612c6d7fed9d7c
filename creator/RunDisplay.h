#pragma once

#include <QString>

namespace sonavel {

// The status and progress windows of a playlist creation run, as the run
// drives them; tests put a recorder in their place.
class RunDisplay {
  public:
    virtual ~RunDisplay() = default;

    // The status window, shown while the run checks the station.
    virtual void ShowStatus(const QString& text) = 0;
    // Hides and unloads it; harmless when it is not shown.
    virtual void HideStatus() = 0;

    // A fresh progress window: the caption, an empty label, OK disabled, the
    // bar from 0 to maximum.
    virtual void ShowProgress(const QString& caption, int maximum) = 0;
    virtual void SetProgressLabel(const QString& text) = 0;
    virtual void SetProgressValue(int value) = 0;
    virtual void EnableOk() = 0;
    virtual void UnloadProgress() = 0;

    // The loudness measure of the week's files, after the playlists: done
    // of total files measured, in words.
    virtual void SetMeasureProgress(int done, int total, const QString& text) = 0;
};

}  // namespace sonavel
