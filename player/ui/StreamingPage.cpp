#include "StreamingPage.h"

#include "ErrorModule.h"
#include "Session.h"
#include "StreamTarget.h"
#include "Streaming.h"
#include "StreamingSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace sonavel {

namespace {

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

StreamingPage::StreamingPage(Session& session, QWidget* parent, Streaming* streaming)
    : QWidget(parent),
      m_session(session),
      m_streaming(streaming),
      m_enabled(Named(new QCheckBox(QStringLiteral("&Send the programme to listeners"), this),
                      "checkStreamingEnabled")),
      m_server(Named(new QLineEdit(this), "textStreamingServer")),
      m_port(Named(new QSpinBox(this), "spinStreamingPort")),
      m_mount(Named(new QLineEdit(this), "textStreamingMount")),
      m_user(Named(new QLineEdit(this), "textStreamingUser")),
      m_password(Named(new QLineEdit(this), "textStreamingPassword")),
      m_format(Named(new QComboBox(this), "comboStreamingFormat")),
      m_bitrate(Named(new QSpinBox(this), "spinStreamingBitrate")),
      m_name(Named(new QLineEdit(this), "textStreamingName")),
      m_description(Named(new QLineEdit(this), "textStreamingDescription")),
      m_genre(Named(new QLineEdit(this), "textStreamingGenre")),
      m_public(Named(new QCheckBox(QStringLiteral("List the stream in &public directories"), this),
                     "checkStreamingPublic")),
      m_state(Named(new QLabel(this), "labelStreamingState")) {
    StreamingSettings stored;
    try {
        stored = ReadStreamingSettings(session);
    } catch (const RuntimeError&) {
        // The store's trouble is reported where it is written.
    }
    m_port->setRange(1, 65535);
    m_bitrate->setRange(16, 320);
    m_bitrate->setSuffix(QStringLiteral(" kbit/s"));
    m_password->setEchoMode(QLineEdit::Password);
    m_format->addItems({QString::fromLatin1(kFormatOggVorbis), QString::fromLatin1(kFormatOggOpus),
                        QString::fromLatin1(kFormatMp3)});
    m_server->setPlaceholderText(QStringLiteral("icecast.example.org"));

    m_enabled->setChecked(stored.Enabled);
    m_server->setText(stored.Server);
    m_port->setValue(stored.Port);
    m_mount->setText(stored.Mount);
    m_user->setText(stored.User);
    m_password->setText(stored.Password);
    const int format = m_format->findText(stored.Format);
    m_format->setCurrentIndex(format < 0 ? 0 : format);
    m_bitrate->setValue(stored.Bitrate);
    m_name->setText(stored.Name);
    m_description->setText(stored.Description);
    m_genre->setText(stored.Genre);
    m_public->setChecked(stored.Public);

    auto* form = new QFormLayout;
    const auto row = [&](const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    row(QStringLiteral("Se&rver:"), m_server);
    row(QStringLiteral("P&ort:"), m_port);
    row(QStringLiteral("&Mount:"), m_mount);
    row(QStringLiteral("&User:"), m_user);
    row(QStringLiteral("Pass&word:"), m_password);
    row(QStringLiteral("&Format:"), m_format);
    row(QStringLiteral("&Bit rate:"), m_bitrate);
    row(QStringLiteral("&Name:"), m_name);
    row(QStringLiteral("&Description:"), m_description);
    row(QStringLiteral("&Genre:"), m_genre);
    m_state->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(m_public);
    layout->addWidget(m_state);
    layout->addStretch();

    // Only the operator's edits are changes; filling the page is not.
    for (QLineEdit* text : {m_server, m_mount, m_user, m_password, m_name, m_description, m_genre})
        connect(text, &QLineEdit::textEdited, this, &StreamingPage::changed);
    for (QCheckBox* check : {m_enabled, m_public})
        connect(check, &QCheckBox::clicked, this, &StreamingPage::changed);
    for (QSpinBox* spin : {m_port, m_bitrate})
        connect(spin, &QSpinBox::valueChanged, this, &StreamingPage::changed);
    connect(m_format, &QComboBox::activated, this, &StreamingPage::changed);
    // A mount named for a format is sent in it, as the server's listeners expect.
    connect(m_mount, &QLineEdit::textEdited, this, [this](const QString& mount) {
        if (const auto format = FormatOfMount(mount))
            m_format->setCurrentIndex(m_format->findText(FormatName(*format)));
    });

    if (m_streaming) m_listener = m_streaming->AddStateListener([this] { ShowState(); });
    ShowState();
}

StreamingPage::~StreamingPage() {
    if (m_streaming) m_streaming->RemoveStateListener(m_listener);
}

StreamingSettings StreamingPage::Settings() const {
    StreamingSettings settings;
    settings.Enabled = m_enabled->isChecked();
    settings.Server = m_server->text().trimmed();
    settings.Port = m_port->value();
    settings.Mount = m_mount->text().trimmed();
    settings.User = m_user->text();
    settings.Password = m_password->text();
    settings.Format = m_format->currentText();
    settings.Bitrate = m_bitrate->value();
    settings.Name = m_name->text();
    settings.Description = m_description->text();
    settings.Genre = m_genre->text();
    settings.Public = m_public->isChecked();
    return settings;
}

void StreamingPage::Apply() {
    // The password is never shown in an error report.
    ErrorTrap trap(m_session, QStringLiteral("StreamingPage.Apply"), QStringLiteral("Server"),
                   [this] { return m_server->text(); });
    trap.Run([&] {
        const StreamingSettings settings = Settings();
        trap([&] { WriteStreamingSettings(m_session, settings); });
        if (m_streaming) m_streaming->UseSettings(settings);
    });
}

void StreamingPage::ShowState() {
    m_state->setText(m_streaming ? m_streaming->StateText()
                                 : QStringLiteral("The stream starts with Sonavel Player."));
}

}  // namespace sonavel
