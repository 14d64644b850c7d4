// VexaHost - "Audio/LED Configuration".
#include "audioleddialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa {

AudioLedDialog::AudioLedDialog(ReaderOptions &options, QWidget *parent)
    : ConfigDialog(QStringLiteral("frmLEDAudio"), QStringLiteral("Audio/LED Configuration"), parent),
      m_options(options)
{
    auto *layout = new QVBoxLayout(this);
    auto *group = new QGroupBox(QStringLiteral("Activate on successful command"), this);
    auto *boxes = new QVBoxLayout(group);
    ledCheck = new QCheckBox(QStringLiteral("LED"), group);
    ledCheck->setObjectName(QStringLiteral("cBoxLED"));
    audioCheck = new QCheckBox(QStringLiteral("Audio"), group);
    audioCheck->setObjectName(QStringLiteral("cBoxAudio"));
    boxes->addWidget(ledCheck);
    boxes->addWidget(audioCheck);
    layout->addWidget(group);
    addButtons(layout, true);
    connect(defaultsButton, &QPushButton::clicked, this, &AudioLedDialog::restoreDefaults);
}

void AudioLedDialog::prepare()
{
    audioCheck->setChecked(m_options.audioOn);
    ledCheck->setChecked(m_options.ledOn);
}

void AudioLedDialog::showEvent(QShowEvent *event)
{
    ConfigDialog::showEvent(event);
    m_notedLedOn = m_options.ledOn;
    m_notedAudioOn = m_options.audioOn;
    prepare();
}

void AudioLedDialog::restoreDefaults()
{
    m_options.ledOn = true;
    m_options.audioOn = true;
    prepare();
}

void AudioLedDialog::cancel()
{
    m_options.ledOn = m_notedLedOn;
    m_options.audioOn = m_notedAudioOn;
    reject();
}

void AudioLedDialog::accept()
{
    m_options.audioOn = audioCheck->isChecked();
    m_options.ledOn = ledCheck->isChecked();
    ConfigDialog::accept();
}

} // namespace vexa
