#include "Registry.h"

#include <cmath>

namespace Metrics {

namespace {

void AppendNumber(QByteArray& out, double value)
{
    if (std::isinf(value))
        out += value > 0 ? "+Inf" : "-Inf";
    else if (std::isnan(value))
        out += "NaN";
    else
        out += QByteArray::number(value, 'g', 17);
}

// HELP texts escape backslashes and newlines; label values also quotes.
QByteArray Escaped(const QString& text, bool quotes)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quotes)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

const char* TypeName(TMetric::TType type)
{
    switch (type) {
    case TMetric::TType::Counter: return "counter";
    case TMetric::TType::Gauge: return "gauge";
    case TMetric::TType::Histogram: return "histogram";
    }
    return "untyped";
}

} // namespace

void TRegistry::Add(TMetric* metric)
{
    QMutexLocker lock(&mutex_);
    metrics_.append(metric);
}

QByteArray TRegistry::Exposition() const
{
    QList<TMetric*> metrics;
    {
        QMutexLocker lock(&mutex_);
        metrics = metrics_;
    }
    QByteArray out;
    out.reserve(16 << 10);
    for (const TMetric* metric : metrics)
        metric->Write(out);
    return out;
}

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

QByteArray LabelText(const QStringList& names, const QStringList& values)
{
    QByteArray out;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += ',';
        out += names[i].toUtf8() + "=\"" + Escaped(values.value(i), true) + '"';
    }
    return out;
}

TMetric::TMetric(const char* name, const char* help, TType type, QStringList labels)
    : name_(name)
    , help_(help)
    , type_(type)
    , labels_(std::move(labels))
{
    Registry().Add(this);
}

void TMetric::Write(QByteArray& out) const
{
    out += "# HELP " + name_ + ' ' + Escaped(QString::fromUtf8(help_), false) + '\n';
    out += "# TYPE " + name_ + ' ' + TypeName(type_) + '\n';
    Samples(out);
}

void TMetric::Sample(QByteArray& out, const char* suffix, const QByteArray& labels, double value) const
{
    out += name_;
    out += suffix;
    if (!labels.isEmpty())
        out += '{' + labels + '}';
    out += ' ';
    AppendNumber(out, value);
    out += '\n';
}

void TMetric::Sample(QByteArray& out, const char* suffix, const QByteArray& labels, quint64 value) const
{
    out += name_;
    out += suffix;
    if (!labels.isEmpty())
        out += '{' + labels + '}';
    out += ' ' + QByteArray::number(value) + '\n';
}

void TLatency::Observe(qint64 nanoseconds)
{
    const double seconds = double(nanoseconds) / 1e9;
    size_t bucket = 0;
    while (bucket < Bounds.size() && seconds > Bounds[bucket])
        ++bucket;
    Buckets[bucket].fetch_add(1, std::memory_order_relaxed);
    SumNs.fetch_add(quint64(std::max<qint64>(0, nanoseconds)), std::memory_order_relaxed);
}

template <class T>
T& TSeries<T>::At(std::initializer_list<QStringView> values)
{
    const auto matches = [&values](const TEntry& entry) {
        if (entry.Values.size() != qsizetype(values.size()))
            return false;
        qsizetype i = 0;
        for (const QStringView value : values) {
            if (entry.Values[i++] != value)
                return false;
        }
        return true;
    };
    const int published = size_.load(std::memory_order_acquire);
    for (int i = 0; i < published; ++i) {
        if (matches(*entries_[size_t(i)]))
            return entries_[size_t(i)]->Data;
    }
    QMutexLocker lock(&mutex_);
    const int size = size_.load(std::memory_order_relaxed);
    for (int i = published; i < size; ++i) {
        if (matches(*entries_[size_t(i)]))
            return entries_[size_t(i)]->Data;
    }
    QStringList wanted;
    for (const QStringView value : values)
        wanted.append(value.toString());
    if (size == MaxSeries - 1) {
        // The last place holds every value beyond the others.
        std::fill(wanted.begin(), wanted.end(), QStringLiteral("other"));
        for (int i = 0; i < size; ++i) {
            if (entries_[size_t(i)]->Values == wanted)
                return entries_[size_t(i)]->Data;
        }
    }
    if (size == MaxSeries)
        return entries_[MaxSeries - 1]->Data;
    entries_[size_t(size)] = std::make_unique<TEntry>();
    entries_[size_t(size)]->Values = wanted;
    size_.store(size + 1, std::memory_order_release);
    return entries_[size_t(size)]->Data;
}

template <class T>
void TSeries<T>::ForEach(const std::function<void(const QStringList&, const T&)>& each) const
{
    const int size = size_.load(std::memory_order_acquire);
    for (int i = 0; i < size; ++i)
        each(entries_[size_t(i)]->Values, entries_[size_t(i)]->Data);
}

template class TSeries<TCount>;
template class TSeries<TLevel>;
template class TSeries<TLatency>;

TCounter::TCounter(const char* name, const char* help, QStringList labels)
    : TMetric(name, help, TType::Counter, std::move(labels))
{
    if (labels_.isEmpty())
        series_.At({});  // a series without labels shows 0 before its first count
}

void TCounter::Samples(QByteArray& out) const
{
    series_.ForEach([&](const QStringList& values, const TCount& count) {
        Sample(out, "", LabelText(labels_, values), count.Value.load(std::memory_order_relaxed));
    });
}

TGauge::TGauge(const char* name, const char* help, QStringList labels)
    : TMetric(name, help, TType::Gauge, std::move(labels))
{
    if (labels_.isEmpty())
        series_.At({});
}

void TGauge::Samples(QByteArray& out) const
{
    series_.ForEach([&](const QStringList& values, const TLevel& level) {
        Sample(out, "", LabelText(labels_, values), double(level.Value.load(std::memory_order_relaxed)));
    });
}

TReadGauge::TReadGauge(const char* name, const char* help, std::function<double()> read)
    : TMetric(name, help, TType::Gauge)
    , read_(std::move(read))
{
}

void TReadGauge::Samples(QByteArray& out) const
{
    Sample(out, "", QByteArray(), read_());
}

THistogram::THistogram(const char* name, const char* help, QStringList labels)
    : TMetric(name, help, TType::Histogram, std::move(labels))
{
}

void THistogram::Samples(QByteArray& out) const
{
    series_.ForEach([&](const QStringList& values, const TLatency& latency) {
        const QByteArray labels = LabelText(labels_, values);
        const QByteArray prefix = labels.isEmpty() ? QByteArray() : labels + ',';
        quint64 cumulative = 0;
        for (size_t i = 0; i <= TLatency::Bounds.size(); ++i) {
            cumulative += latency.Buckets[i].load(std::memory_order_relaxed);
            QByteArray le = "le=\"";
            if (i < TLatency::Bounds.size())
                le += QByteArray::number(TLatency::Bounds[i], 'g', 17);
            else
                le += "+Inf";
            Sample(out, "_bucket", prefix + le + '"', cumulative);
        }
        Sample(out, "_sum", labels, double(latency.SumNs.load(std::memory_order_relaxed)) / 1e9);
        // The count is the +Inf bucket's, so that the two agree in one scrape.
        Sample(out, "_count", labels, cumulative);
    });
}

} // namespace Metrics
