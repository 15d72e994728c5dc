#pragma once
// A Prometheus stand-in for the benchmarks that measure a server with its
// metrics on: GET /metrics on the loopback port every IntervalMs, on a
// thread of its own, from construction until destruction, so that what a
// scrape costs the server is in the figures. Scrapes counts those answered.
#include <QtGlobal>

#include <atomic>
#include <thread>

class TScraper {
public:
    static constexpr int IntervalMs = 1000;

    explicit TScraper(quint16 port);
    ~TScraper();
    int Scrapes() const { return scrapes_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<int> scrapes_{0};
    std::thread thread_;
};
