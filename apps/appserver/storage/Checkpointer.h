#pragma once
// TCheckpointer: the checkpoints of a SQLite database in WAL mode, run on a
// thread of its own so that no committing writer pays for one (the server's
// connections open with TDbConfig::BackgroundCheckpoints, which turns
// SQLite's automatic checkpoint off).
//
// Every IntervalMs it copies what the WAL holds back into the database
// (PASSIVE: it waits for no reader and no writer); once all is copied, the
// next writer starts the WAL again from its head, so the file does not grow
// without bound while readers come and go. A failure goes to
// `log` (called on the checkpointer's thread) and the next turn tries again. Stop (or the destructor) ends the thread
// after the turn under way.
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TCheckpointer {
public:
    static constexpr int IntervalMs = 200;

    TCheckpointer(QString path, std::function<void(const QString&)> log);
    ~TCheckpointer();
    TCheckpointer(const TCheckpointer&) = delete;
    TCheckpointer& operator=(const TCheckpointer&) = delete;

    void Stop();
    // Checkpoints run so far (for tests).
    int Runs() const { return runs_; }

private:
    void Loop();

    QString path_;
    std::function<void(const QString&)> log_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<int> runs_{0};
    std::thread thread_;
};
