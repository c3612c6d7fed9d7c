#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace sonavel {

class Dialogs;

// Play states and the ready state the callers test for.
namespace media {
constexpr int kStopped = 0;
constexpr int kPaused = 1;
constexpr int kPlaying = 2;
constexpr int kReadyComplete = 4;

// Error codes, HRESULTs as signed 32-bit numbers.
constexpr std::int32_t kFileMissing = -2147287038;   // 0x80030002
constexpr std::int32_t kNotDecodable = -2147467259;  // E_FAIL
constexpr std::int32_t kBadPath = -2147024809;       // E_INVALIDARG
constexpr std::int32_t kOutOfMemory = -2147024882;   // E_OUTOFMEMORY
constexpr std::int32_t kSuperseded = -2147467260;    // E_ABORT
}  // namespace media

// The media player control both programs play and measure sound files with.
// All members are called on the UI thread; the signals arrive there too, also
// while a caller polls and serves events.
class MediaPlayer : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    ~MediaPlayer() override = default;

    virtual QString FileName() const = 0;
    // Opens the file and returns once it is open (or failed).
    virtual void SetFileName(const QString& path) = 0;
    // Starts opening and returns at once; readiness is polled.
    virtual void Open(const QString& path) = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;

    virtual int PlayState() const = 0;
    virtual int ReadyState() const = 0;
    virtual bool IsDurationValid() const = 0;
    virtual double Duration() const = 0;
    virtual double CurrentPosition() const = 0;
    // Writing Duration ends the element as a natural end does.
    virtual void SetCurrentPosition(double seconds) = 0;

    virtual std::int32_t ErrorCode() const = 0;
    virtual QString ErrorDescription() const = 0;
    virtual QString ErrorCorrection() const = 0;

    // The text of the control's own about window.
    virtual QString AboutText() const = 0;

    // Beyond the control's own members, what the output really does.
    // Seconds until the last frame of the element that has just reported its
    // end sounds: its end is reported that much ahead so the next element can
    // follow without a gap. 0 when it has sounded or cannot be known.
    virtual double SecondsToEnd() const { return 0.0; }
    // The output's frame clock, for the times of what sounded: the frame the
    // output is at now; negative when the control has no such clock.
    virtual qint64 OutputFrame() const { return -1; }
    // Tells the elements a control has held apart, for the signals below;
    // that of the element it holds now.
    virtual quint32 ElementId() const { return 0; }
    // Shows it.
    void AboutBox(Dialogs& dialogs);

  signals:
    void PlayStateChange(int OldState, int NewState);
    void Error();
    // The element stops before the length its file declared: the data turned
    // bad, the file was cut short, or it changed on disk after it was opened.
    // What sounded is what could be decoded up to there, and the element ends
    // there as at its end; the text names the file and where it stopped.
    void Cut(const QString& description);
    // The element's first frame reached the output at this frame.
    void Sounding(quint32 element, qint64 frame);
    // The element fell quiet at this frame, having sounded this many frames
    // in all: paused (over false), or off the air for good (over true:
    // played to its end, stopped, skipped, or cut off by the program's end).
    void Quiet(quint32 element, qint64 frame, qint64 frames, bool over);
};

}  // namespace sonavel
