#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace sonavel {

class Session;
class Streaming;
struct StreamingSettings;

// The "Streaming" tab of Player's options window: the Icecast server the
// programme is sent to, and the stream's state. Apply stores the settings and
// puts them into effect; without a Streaming it only stores them.
class StreamingPage final : public QWidget {
    Q_OBJECT
  public:
    StreamingPage(Session& session, QWidget* parent = nullptr, Streaming* streaming = nullptr);
    ~StreamingPage() override;

    StreamingSettings Settings() const;
    void Apply();

  signals:
    void changed();

  private:
    void ShowState();

    Session& m_session;
    Streaming* m_streaming;
    int m_listener = 0;
    QCheckBox* m_enabled;
    QLineEdit* m_server;
    QSpinBox* m_port;
    QLineEdit* m_mount;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QComboBox* m_format;
    QSpinBox* m_bitrate;
    QLineEdit* m_name;
    QLineEdit* m_description;
    QLineEdit* m_genre;
    QCheckBox* m_public;
    QLabel* m_state;
};

}  // namespace sonavel
