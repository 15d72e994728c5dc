#pragma once
// The server's counters, gauges and histograms, and their text in
// Prometheus's exposition format (version 0.0.4).
//
// Cost: counting is on the path of every call and statement, so a series is
// a few relaxed atomics; nothing there takes a lock or allocates once the
// series exists. A family's series (one per set of label values) are made
// on first use under the family's mutex and published by an atomic count,
// so finding one is a lock-free walk over at most MaxSeries short entries.
// Label values come from bounded sets only (method names the dispatcher
// found, fault codes, kinds of failure, "sqlite"/"postgresql"): a family that
// is full folds further values into one series labelled "other".
//
// Lifetime: metrics are made once for the process and never freed
// (Registry() holds them); a metric registers itself with the registry that
// writes it. Exposition may run on any thread while others count: each
// figure is read once, so a scrape sees every series at some moment of the
// scrape (a histogram's count and buckets may differ by calls in flight).
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <memory>

namespace Metrics {

class TMetric;

// Every metric of the process, in the order they were made.
class TRegistry {
public:
    void Add(TMetric* metric);
    // The exposition text of every metric (# HELP, # TYPE and samples).
    QByteArray Exposition() const;

private:
    mutable QMutex mutex_;
    QList<TMetric*> metrics_;
};

TRegistry& Registry();

class TMetric {
public:
    enum class TType { Counter, Gauge, Histogram };
    // `name` follows Prometheus's rules ([a-zA-Z_:][a-zA-Z0-9_:]*, counters
    // ending in _total); registered in Registry().
    TMetric(const char* name, const char* help, TType type, QStringList labels = {});
    virtual ~TMetric() = default;
    TMetric(const TMetric&) = delete;
    TMetric& operator=(const TMetric&) = delete;

    void Write(QByteArray& out) const;

protected:
    // One line per sample of this metric, labels already in `labels` ("" or
    // `{a="x",b="y"}`-style, without braces: "a=\"x\"").
    virtual void Samples(QByteArray& out) const = 0;
    void Sample(QByteArray& out, const char* suffix, const QByteArray& labels, double value) const;
    void Sample(QByteArray& out, const char* suffix, const QByteArray& labels, quint64 value) const;

    QByteArray name_;
    QByteArray help_;
    TType type_;
    QStringList labels_;
};

// Label text `a="x",b="y"` for `names` and `values`, values escaped as the
// format asks (\\, \" and \n).
QByteArray LabelText(const QStringList& names, const QStringList& values);

struct TCount {
    std::atomic<quint64> Value{0};
    void Add(quint64 n = 1) { Value.fetch_add(n, std::memory_order_relaxed); }
};

struct TLevel {
    std::atomic<qint64> Value{0};
    void Set(qint64 v) { Value.store(v, std::memory_order_relaxed); }
    void Add(qint64 n) { Value.fetch_add(n, std::memory_order_relaxed); }
};

// Call latencies: buckets from 0.5 ms to 10 s.
struct TLatency {
    static constexpr std::array<double, 14> Bounds{0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                   0.1,    0.25,  0.5,    1.0,   2.5,  5.0,   10.0};
    std::array<std::atomic<quint64>, Bounds.size() + 1> Buckets{};  // the last: above every bound
    std::atomic<quint64> SumNs{0};
    void Observe(qint64 nanoseconds);
};

// Series by label values, made on first use (see the top of this file).
template <class T>
class TSeries {
public:
    static constexpr int MaxSeries = 256;

    // The series of `values` (one per label name of the family).
    T& At(std::initializer_list<QStringView> values);
    // Calls `each` with the values and the series, for every series made.
    void ForEach(const std::function<void(const QStringList&, const T&)>& each) const;

private:
    struct TEntry {
        QStringList Values;
        T Data;
    };
    std::array<std::unique_ptr<TEntry>, MaxSeries> entries_;
    std::atomic<int> size_{0};
    QMutex mutex_;
};

// A counter family: `labels` names its labels; none, a single series.
class TCounter final : public TMetric {
public:
    TCounter(const char* name, const char* help, QStringList labels = {});
    void Add(std::initializer_list<QStringView> values = {}, quint64 n = 1) { series_.At(values).Add(n); }
    quint64 Value(std::initializer_list<QStringView> values = {}) { return series_.At(values).Value.load(); }

private:
    void Samples(QByteArray& out) const override;
    TSeries<TCount> series_;
};

class TGauge final : public TMetric {
public:
    TGauge(const char* name, const char* help, QStringList labels = {});
    void Set(qint64 value, std::initializer_list<QStringView> values = {}) { series_.At(values).Set(value); }
    void Add(qint64 n, std::initializer_list<QStringView> values = {}) { series_.At(values).Add(n); }

private:
    void Samples(QByteArray& out) const override;
    TSeries<TLevel> series_;
};

// A gauge read when it is scraped (the process's memory, a file's size):
// `read` runs on the scraping thread and must be safe there.
class TReadGauge final : public TMetric {
public:
    TReadGauge(const char* name, const char* help, std::function<double()> read);

private:
    void Samples(QByteArray& out) const override;
    std::function<double()> read_;
};

class THistogram final : public TMetric {
public:
    THistogram(const char* name, const char* help, QStringList labels = {});
    void Observe(qint64 nanoseconds, std::initializer_list<QStringView> values = {})
    {
        series_.At(values).Observe(nanoseconds);
    }

private:
    void Samples(QByteArray& out) const override;
    TSeries<TLatency> series_;
};

} // namespace Metrics
