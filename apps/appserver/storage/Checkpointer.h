#pragma once
// TCheckpointer: the checkpoints of a SQLite database in WAL mode, run on a
// thread of its own and at moments that cost a committing writer nothing
// (the server's connections open with TDbConfig::BackgroundCheckpoints,
// which turns SQLite's automatic checkpoint off and has them report the
// WAL's size after each commit to Activity()).
//
// A checkpoint copies the WAL back into the database and then syncs the
// database file; while that sync runs, a commit's own sync of the WAL waits
// behind it on the same disk. So the checkpointer looks every TurnMs and,
// when anything was committed since its last checkpoint (by any connection,
// of this process or another: SQLite's data_version), copies what the WAL
// holds (PASSIVE: it waits for no reader and no writer) only once the
// writers have been quiet for IdleMs, or once the WAL has grown to
// MaxWalFrames whatever they do: under a steady load a station meets at
// most one such sync every MaxWalFrames frames, and the WAL stays bounded.
// Once all is copied, the next writer starts the WAL again from its head.
// Commits stay durable (synchronous=FULL).
//
// A failure goes to `log` (called on the checkpointer's thread) and the next
// turn tries again; so does a checkpoint slower than SlowMs, with its pages
// and time, for an operator looking for the disk's stalls. Stop (or the
// destructor) ends the thread after the turn under way.
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// What the writers' connections tell the checkpointer after each commit
// (SQLite's WAL hook): the frames the WAL holds.
struct TWalActivity {
    std::atomic<int> Frames{0};
};

class TCheckpointer {
public:
    static constexpr int TurnMs = 50;
    static constexpr int IdleMs = 200;
    static constexpr int MaxWalFrames = 4000;  // 16 MiB of 4 KiB pages
    static constexpr int SlowMs = 50;

    TCheckpointer(QString path, std::function<void(const QString&)> log);
    ~TCheckpointer();
    TCheckpointer(const TCheckpointer&) = delete;
    TCheckpointer& operator=(const TCheckpointer&) = delete;

    // For the connections whose checkpoints this one takes.
    std::shared_ptr<TWalActivity> Activity() const { return activity_; }
    void Stop();
    // Checkpoints run so far (for tests).
    int Runs() const { return runs_; }

private:
    void Loop();

    QString path_;
    std::function<void(const QString&)> log_;
    std::shared_ptr<TWalActivity> activity_ = std::make_shared<TWalActivity>();
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::atomic<int> runs_{0};
    std::thread thread_;
};
