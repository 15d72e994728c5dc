#include "Showavi.h"

#include "netconn/NetConnection.h"

#include "ui/Form.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

namespace {

constexpr int Dots = 12;
constexpr int TickMs = 80;

QString TextOf(int kind)
{
    switch (kind) {
    case 1: return QStringLiteral("Gravando, aguarde...");
    case 6: return QStringLiteral("Consultando, aguarde...");
    default: return QStringLiteral("Processando, aguarde...");
    }
}

class TBusyIndicator : public QWidget {
public:
    explicit TBusyIndicator(QWidget* parent)
        : QWidget(parent, parent ? Qt::Widget : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        QFont f = font();
        f.setBold(true);
        setFont(f);
        timer_.setInterval(TickMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            ++frame_;
            update();
        });
    }

    void Start(const QString& text)
    {
        SetText(text);
        show();
        raise();
        timer_.start();
        repaint();
    }

    // Painted with the next paint event, which the server call's wait lets through.
    void SetText(const QString& text)
    {
        text_ = text;
        const QFontMetrics metrics(font());
        resize(metrics.horizontalAdvance(text_) + 80, 56);
        const QRect area = parentWidget() ? parentWidget()->rect() : QGuiApplication::primaryScreen()->geometry();
        move(area.center() - rect().center());
        update();
    }

    QString Text() const { return text_; }
    int Frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Dark), 1));
        p.setBrush(palette().color(QPalette::ToolTipBase));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

        // A ring of dots; the bright one goes round, the others fade behind it.
        const QPointF centre(28, height() / 2.0);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < Dots; ++i) {
            const int age = (frame_ - i + Dots * 1000) % Dots;
            QColor c(20, 90, 170);
            c.setAlphaF(1.0 - age / double(Dots) * 0.85);
            p.setBrush(c);
            p.save();
            p.translate(centre);
            p.rotate(i * 360.0 / Dots);
            p.drawEllipse(QPointF(0, -13), 2.6, 2.6);
            p.restore();
        }
        p.setPen(palette().color(QPalette::ToolTipText));
        p.drawText(rect().adjusted(56, 0, -8, 0), Qt::AlignVCenter | Qt::AlignLeft, text_);
    }

private:
    QTimer timer_;
    QString text_;
    int frame_ = 0;
};

struct {
    QPointer<TBusyIndicator> widget;
    int kind = 0;
    int count = 0;
} state;

} // namespace

void Showavi::ActiveShowAvi(TForm* mainForm, int kind)
{
    QWidget* parent = mainForm ? mainForm->Widget() : nullptr;
    if (state.widget && state.widget->parentWidget() != parent)
        delete state.widget.data();
    if (!state.widget)
        state.widget = new TBusyIndicator(parent);
    state.kind = kind;
    ++state.count;
    state.widget->Start(TextOf(kind));
    static const bool bound = [] {
        TNetConnection::SetReceiveProgress(&Showavi::ShowProgress);
        return true;
    }();
    Q_UNUSED(bound);
}

void Showavi::ShowProgress(qint64 received, qint64 total)
{
    if (!state.widget || total <= 0)
        return;
    const QString size = QString::number(double(total) / (1024 * 1024), 'f', 1).replace(u'.', u',');
    state.widget->SetText(QStringLiteral("%1 %2% de %3 MB").arg(TextOf(state.kind)).arg(received * 100 / total).arg(size));
}

QString Showavi::Text()
{
    return state.widget ? state.widget->Text() : QString();
}

void Showavi::DeactiveShowAvi()
{
    delete state.widget.data();
}

bool Showavi::Showing()
{
    return !state.widget.isNull();
}

int Showavi::Kind()
{
    return state.kind;
}

int Showavi::ShowCount()
{
    return state.count;
}

int Showavi::Frame()
{
    return state.widget ? state.widget->Frame() : 0;
}

QWidget* Showavi::Indicator()
{
    return state.widget.data();
}
