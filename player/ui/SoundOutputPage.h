#pragma once

#include <QString>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;

namespace sonavel {

class AudioEngine;
class Session;

// The "Sound Output" tab of Player's options window: which sound device the
// programme plays on, the silence alarm and how evenly loud its elements
// sound. Without an engine it lists the system's devices and Apply only
// stores the choices.
class SoundOutputPage final : public QWidget {
    Q_OBJECT
  public:
    SoundOutputPage(Session& session, QWidget* parent = nullptr, AudioEngine* engine = nullptr);

    // The name the combo shows chosen; empty for the default device.
    QString Choice() const;
    // Stores the choice and moves the engine to it at its next element; the
    // loudness settings, when the operator changed them, hold from the next
    // element on.
    void Apply();

  signals:
    // The operator chose another entry.
    void changed();

  private:
    Session& m_session;
    AudioEngine* m_engine;
    QComboBox* m_combo;
    QLabel* m_note;
    QDoubleSpinBox* m_silenceSeconds;
    QLineEdit* m_silenceCommand;
    QCheckBox* m_loudnessEnabled = nullptr;
    QDoubleSpinBox* m_target = nullptr;
    QDoubleSpinBox* m_truePeakLimit = nullptr;
    QDoubleSpinBox* m_maximumGain = nullptr;
    bool m_loudnessChanged = false;

    void BuildLoudness(QLayout* layout);
};

}  // namespace sonavel
