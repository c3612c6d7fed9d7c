#pragma once

#include <QString>

namespace sonavel {

// What level each element plays at, decided by the program that builds the
// players (evened loudness, for one). Called on the players' thread, never
// by the output callback, which only multiplies by the answer.
class GainSource {
  public:
    virtual ~GainSource() = default;

    // A file is being opened for play: what its level needs may be worked
    // out meanwhile. Must return at once.
    virtual void Prepare(const QString& path) = 0;
    // The factor the file starts at, asked as it starts; 1 plays it as it
    // is. Must return at once: a level that is not known yet is 1.
    virtual float GainFor(const QString& path) = 0;
};

}  // namespace sonavel
