#include "app/PlayerPane.h"

#include "app/RecordingPlayer.h"
#include "app/WaveformStrip.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <utility>

namespace {

constexpr qint64 kStepMs = 5000;
constexpr int kTickMilliseconds = 50;
constexpr double kSpeeds[] = {0.5, 0.75, 1.0, 1.25, 1.5, 2.0};
constexpr int kNormalSpeed = 2;

// "m:ss", or "h:mm:ss" when the recording reaches an hour; "m:ss.t" (tenths) when it is
// shorter than a second, which whole seconds would show as "0:00 / 0:00".
QString clockText(qint64 ms, qint64 total)
{
    const qint64 seconds = ms / 1000;
    if (total >= 3600 * 1000)
        return QString::asprintf("%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    if (total < 1000)
        return QString::asprintf("%lld:%02lld.%lld", seconds / 60, seconds % 60, ms / 100 % 10);
    return QString::asprintf("%lld:%02lld", seconds / 60, seconds % 60);
}

} // namespace

PlayerPane::PlayerPane(QWidget *parent) : QWidget(parent), m_player(new RecordingPlayer(this))
{
    setObjectName(QStringLiteral("PlayerPane"));
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("PlayerCaption"));
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_caption->font();
    bold.setBold(true);
    m_caption->setFont(bold);
    m_pages = new QStackedWidget(this);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 4, 6, 4);
    outer->setSpacing(2);
    outer->addWidget(m_caption);
    outer->addWidget(m_pages, 1);

    m_line = new QLabel(m_pages);
    m_line->setObjectName(QStringLiteral("PlayerLine"));
    m_line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_line->setWordWrap(true);
    m_line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pages->addWidget(m_line);

    auto *controls = new QWidget(m_pages);
    m_pages->addWidget(controls);
    m_waveform = new WaveformStrip(controls);
    m_waveform->setObjectName(QStringLiteral("PlayerWaveform"));
    m_waveform->setToolTip(GetDialogText(Ids::TxtWaveform) + u'\n' + GetDialogText(Ids::TxtWaveformZoom));

    m_play = new QPushButton(controls);
    m_play->setObjectName(QStringLiteral("PlayerPlay"));
    m_play->setMinimumWidth(90);
    m_play->setAutoDefault(false);
    m_back = new QToolButton(controls);
    m_back->setObjectName(QStringLiteral("PlayerBack"));
    m_back->setText(QStringLiteral("-5 s"));
    m_back->setToolTip(GetDialogText(Ids::TxtBackFive));
    m_forward = new QToolButton(controls);
    m_forward->setObjectName(QStringLiteral("PlayerForward"));
    m_forward->setText(QStringLiteral("+5 s"));
    m_forward->setToolTip(GetDialogText(Ids::TxtForwardFive));
    m_slider = new QSlider(Qt::Horizontal, controls);
    m_slider->setObjectName(QStringLiteral("PlayerPosition"));
    m_slider->setSingleStep(1000);
    m_slider->setPageStep(int(kStepMs));
    m_time = new QLabel(controls);
    m_time->setObjectName(QStringLiteral("PlayerTime"));
    m_speed = new QComboBox(controls);
    m_speed->setObjectName(QStringLiteral("PlayerSpeed"));
    m_speed->setToolTip(GetDialogText(Ids::TxtSpeed));
    for (const double speed : kSpeeds)
        m_speed->addItem(QString::number(speed) + QStringLiteral(" ×"), speed);
    m_speed->setCurrentIndex(kNormalSpeed);
    m_volume = new QSlider(Qt::Horizontal, controls);
    m_volume->setObjectName(QStringLiteral("PlayerVolume"));
    m_volume->setToolTip(GetDialogText(Ids::TxtVolume));
    m_volume->setRange(0, 100);
    m_volume->setValue(100);
    m_volume->setSingleStep(5);
    m_volume->setPageStep(20);
    m_volume->setMaximumWidth(90);
    m_continuous = new QToolButton(controls);
    m_continuous->setObjectName(QStringLiteral("PlayerContinuous"));
    m_continuous->setCheckable(true);
    m_continuous->setText(GetDialogText(Ids::TxtContinuous));
    m_continuous->setToolTip(GetDialogText(Ids::TxtContinuousTip));
    m_continuous->setIcon(style()->standardIcon(QStyle::SP_MediaSkipForward));
    m_continuous->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_note = new QLabel(controls);
    m_note->setObjectName(QStringLiteral("PlayerNote"));

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_play);
    row->addWidget(m_back);
    row->addWidget(m_forward);
    row->addWidget(m_slider, 1);
    row->addWidget(m_time);
    row->addWidget(m_speed);
    row->addWidget(m_volume);
    row->addWidget(m_continuous);
    row->addWidget(m_note);
    auto *column = new QVBoxLayout(controls);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    // The waveform takes whatever height the pane gains.
    column->addWidget(m_waveform, 1);
    column->addLayout(row);

    m_ticker = new QTimer(this);
    m_ticker->setInterval(kTickMilliseconds);
    connect(m_ticker, &QTimer::timeout, this, &PlayerPane::refresh);
    connect(&m_loader, &RecordingLoader::loaded, this, &PlayerPane::onLoaded);
    connect(m_play, &QPushButton::clicked, this, &PlayerPane::togglePlayback);
    connect(m_back, &QToolButton::clicked, this, [this] { moveBy(-kStepMs); });
    connect(m_forward, &QToolButton::clicked, this, [this] { moveBy(kStepMs); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int ms) {
        if (!m_refreshing)
            moveTo(ms);
    });
    connect(m_waveform, &WaveformStrip::seekRequested, this,
            [this](double fraction) { moveTo(qint64(fraction * double(m_player->durationMs()))); });
    connect(m_speed, &QComboBox::currentIndexChanged, this,
            [this] { m_player->setSpeed(m_speed->currentData().toDouble()); });
    connect(m_volume, &QSlider::valueChanged, this, [this](int volume) { m_player->setVolume(volume / 100.0); });
    connect(m_player, &RecordingPlayer::finished, this, &PlayerPane::onFinished);
    connect(m_player, &RecordingPlayer::playingChanged, this, [this](bool playing) {
        updatePlayButton(playing);
        if (playing)
            m_ticker->start();
        else
            m_ticker->stop();
        refresh();
    });
    connect(m_player, &RecordingPlayer::failed, this, [this](RecordingPlayer::Failure failure) {
        m_note->setText(GetDialogText(failure == RecordingPlayer::Failure::NoDevice ? Ids::TxtNoOutputDevice
                                                                                    : Ids::TxtOutputFailed));
    });

    updatePlayButton(false);
    takePlaybackKeysFrom(m_waveform);
    clear();
}

PlayerPane::~PlayerPane() = default;

QSize PlayerPane::sizeHint() const
{
    // The caption's and the controls' height whichever page shows, so the list above does
    // not jump.
    const QSize controls = m_pages->widget(1)->sizeHint();
    return QSize(controls.width(), m_caption->sizeHint().height() + 2 + controls.height() + 8);
}

void PlayerPane::showLine(const QString &text, State state)
{
    m_state = state;
    m_line->setText(text);
    m_pages->setCurrentWidget(m_line);
}

void PlayerPane::clear()
{
    ++m_choices;
    m_playWhenLoaded = false;
    m_path.clear();
    m_caption->clear();
    m_caption->hide();
    m_loader.clear();
    m_player->setAudio(nullptr);
    m_waveform->setPeaks(WaveformPeaks(), 0);
    showLine(GetDialogText(Ids::TxtPlayerIdle), State::Idle);
}

bool PlayerPane::isPlaying() const
{
    return m_player->isPlaying();
}

void PlayerPane::playWhenReady()
{
    if (m_state == State::Ready) {
        if (!m_player->isPlaying())
            togglePlayback();
    } else {
        m_playWhenLoaded = m_state == State::Loading;
    }
}

void PlayerPane::onFinished()
{
    if (!m_continuous->isChecked())
        return;
    // The list moves its current row (or cannot, at its last row); whatever row it
    // chose is played once it is loaded.
    const quint64 before = m_choices;
    emit nextCallWanted();
    if (m_choices != before)
        playWhenReady();
}

void PlayerPane::setRecording(const QString &path, const RecordingFolder &folder, const QString &caption)
{
    ++m_choices;
    m_caption->setText(caption);
    m_caption->setVisible(!caption.isEmpty());
    if (path == m_path && (m_state == State::Loading || m_state == State::Ready))
        return;
    m_playWhenLoaded = false;
    m_path = path;
    m_loader.clear();
    m_player->setAudio(nullptr);
    m_waveform->setPeaks(WaveformPeaks(), 0);
    switch (folder.Check(path)) {
    case RecordingFolder::Verdict::NoFile:
        showLine(GetDialogText(Ids::TxtPlayerNoFile), State::Unplayable);
        return;
    case RecordingFolder::Verdict::Deleted:
        showLine(GetDialogText(Ids::TxtPlayerDeleted), State::Unplayable);
        return;
    case RecordingFolder::Verdict::Missing:
        showLine(GetDialogText(Ids::TxtPlayerMissing).arg(path), State::Unplayable);
        return;
    case RecordingFolder::Verdict::Outside:
        showLine(GetDialogText(Ids::TxtPlayerOutside), State::Unplayable);
        return;
    case RecordingFolder::Verdict::Playable:
        break;
    }
    showLine(GetDialogText(Ids::TxtPlayerLoading), State::Loading);
    m_loader.load(path);
}

void PlayerPane::onLoaded(const QString &path, std::shared_ptr<const DecodedAudio> audio, WaveformPeaks peaks)
{
    if (path != m_path)
        return;
    switch (audio->failure()) {
    case DecodedAudio::Failure::None:
        break;
    case DecodedAudio::Failure::Empty:
        showLine(GetDialogText(Ids::TxtPlayerEmpty), State::Unplayable);
        return;
    case DecodedAudio::Failure::TooLong:
        showLine(GetDialogText(Ids::TxtPlayerTooLong), State::Unplayable);
        return;
    case DecodedAudio::Failure::Unreadable:
    case DecodedAudio::Failure::NotDecodable:
    case DecodedAudio::Failure::Cancelled:
        showLine(GetDialogText(Ids::TxtPlayerUndecodable).arg(audio->reason()), State::Unplayable);
        return;
    }
    m_player->setAudio(audio);
    m_player->setSpeed(m_speed->currentData().toDouble());
    m_waveform->setPeaks(std::move(peaks), m_player->durationMs());
    m_refreshing = true;
    m_slider->setRange(0, int(std::min<qint64>(m_player->durationMs(), INT_MAX)));
    m_refreshing = false;
    m_note->setText(RecordingPlayer::hasOutputDevice() ? QString() : GetDialogText(Ids::TxtNoOutputDevice));
    m_state = State::Ready;
    m_pages->setCurrentIndex(1);
    refresh();
    if (std::exchange(m_playWhenLoaded, false))
        togglePlayback();
}

void PlayerPane::togglePlayback()
{
    if (m_state != State::Ready)
        return;
    if (m_player->isPlaying()) {
        m_player->pause();
    } else if (m_player->play()) {
        m_note->clear();
    }
}

void PlayerPane::moveBy(qint64 ms)
{
    moveTo(m_player->positionMs() + ms);
}

void PlayerPane::moveTo(qint64 ms)
{
    if (m_state != State::Ready)
        return;
    m_player->seekMs(std::clamp<qint64>(ms, 0, m_player->durationMs()));
    refresh();
}

void PlayerPane::refresh()
{
    const qint64 total = m_player->durationMs();
    const qint64 now = m_player->positionMs();
    m_refreshing = true;
    m_slider->setValue(int(std::min<qint64>(now, INT_MAX)));
    m_refreshing = false;
    m_time->setText(clockText(now, total) + QStringLiteral(" / ") + clockText(total, total));
    m_waveform->setPosition(total > 0 ? double(now) / double(total) : 0.0);
}

void PlayerPane::updatePlayButton(bool playing)
{
    m_play->setText(GetDialogText(playing ? Ids::TxtPause : Ids::TxtPlay));
    m_play->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
}

void PlayerPane::takePlaybackKeysFrom(QWidget *list)
{
    list->installEventFilter(this);
}

bool PlayerPane::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && m_state == State::Ready) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Keypad arrows come with KeypadModifier.
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Space:
                m_play->click();
                return true;
            case Qt::Key_Left:
                m_back->click();
                return true;
            case Qt::Key_Right:
                m_forward->click();
                return true;
            default:
                break;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}
