// A thread that still holds its SQLite connection when the program ends, and ends itself only
// after main has returned and the statics made during main are gone, as a pool thread that
// expires late does. The database test runs it and expects a clean exit.
#include "tarvik/database.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

std::mutex gMutex;
std::condition_variable gChanged;
bool gOpened = false;
bool gReleased = false;
std::thread *gWorker = nullptr;

// Made before main, so it is destroyed after everything main made (Qt's SQL registry too).
struct LateEnd
{
    ~LateEnd()
    {
        if (!gWorker)
            return;
        {
            std::lock_guard<std::mutex> lock(gMutex);
            gReleased = true;
        }
        gChanged.notify_all();
        gWorker->join(); // the worker's thread-local clean-up runs now
    }
} gLateEnd;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    tarvik::Database db(dir.filePath(QStringLiteral("exit.sqlite")));
    gWorker = new std::thread([&db] {
        db.execute(QStringLiteral("CREATE TABLE t (a INTEGER)"));
        std::unique_lock<std::mutex> lock(gMutex);
        gOpened = true;
        gChanged.notify_all();
        gChanged.wait(lock, [] { return gReleased; });
    });
    std::unique_lock<std::mutex> lock(gMutex);
    gChanged.wait(lock, [] { return gOpened; });
    return 0;
}
