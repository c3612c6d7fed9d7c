#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace sonavel::demo {

// Mono sound in memory, samples in [-1, 1].
struct Sound {
    int rate = 0;
    std::vector<float> samples;

    double Seconds() const { return rate > 0 ? double(samples.size()) / rate : 0.0; }
};

// A note's frequency, semitones away from A 440.
double NoteFrequency(int semitonesFromA4);

// A sustained chord over a pulsing bass: a background bed.
Sound ChordPad(int root, bool minor, double seconds, int rate);
// The chord's notes plucked one after another, eighth notes at the tempo.
Sound Arpeggio(int root, bool minor, double seconds, int bpm, int rate);
// Bell-like notes rising and ringing out: a jingle or a station chime.
Sound Chime(const std::vector<int>& notes, double noteSeconds, double ringSeconds, int rate);
// Tones telling the time by pitch, for stations without speech: a lead-in,
// then the hour and the minute, about as long as a spoken announcement
// (2.6 s).
Sound TimeTones(int hour, int minute, int rate);

// Joins sounds with the given silence between them.
Sound Join(const std::vector<Sound>& parts, double gapSeconds);
// Adds the second sound, scaled, onto the first from its start.
void MixInto(Sound& base, const Sound& over, float gain);
Sound Resampled(const Sound& sound, int rate);
// Without the near-silence speech synthesis leaves at either end.
Sound Trimmed(const Sound& sound);

// How a WAV file holds its samples: 16-bit PCM, or 8-bit mu-law, the
// telephone's, at half the size.
enum class WavSamples { Pcm16, MuLaw };
// A WAV written whole (DurableFile). The system's error number when the file
// cannot be written, 0 when it was.
int WriteWav(const QString& path, const Sound& sound, WavSamples samples = WavSamples::Pcm16);
Sound ReadSound(const QString& path);

// Speech through espeak-ng, when it is installed: the program is started
// once per text, several at a time. Empty when espeak-ng is not on the PATH;
// otherwise one sound per text, an empty one for a text that failed.
bool SpeechAvailable();
std::vector<Sound> Speak(const QStringList& texts);

}  // namespace sonavel::demo
