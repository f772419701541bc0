// The class holds no locks: with one thread (every call of CParcelon)
// packing compresses on the calling thread and never goes through the
// compression pool's mutex. Seen by counting the mutex locks the calling
// thread takes while it packs: this program's own pthread_mutex_lock
// stands in front of the C library's (Linux; not under the sanitizers,
// which have their own).
#if defined(__linux__) && !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include "Parcelon.h"
#include "deflate/ChunkCompressor.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

thread_local bool t_counting = false;
thread_local long t_locks = 0;

using LockFunction = int (*)(pthread_mutex_t*);

LockFunction RealLock() {
    static const LockFunction real = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    return real;
}

} // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (t_counting) ++t_locks;
    return RealLock()(mutex);
}

namespace {

// Counts the locks the calling thread takes while body runs.
template <typename Body>
long LocksTakenBy(Body body) {
    RealLock();
    t_locks = 0;
    t_counting = true;
    body();
    t_counting = false;
    return t_locks;
}

} // namespace

TEST(NoLockTest, TheClassPacksWithoutTakingALock) {
    TempDir dir;
    fs::create_directories(dir / "src/sub");
    WriteFile(dir / "src/a.txt", "alpha");
    WriteFile(dir / "src/sub/big.bin", PatternBytes(3 * parcelon::kChunkSize + 100, 3));
    for (int i = 0; i < 20; ++i) WriteFile(dir / ("src/sub/f" + std::to_string(i)), PatternBytes(5000, i));
    // The counter itself sees locks: a mutex taken on purpose counts.
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    EXPECT_EQ(LocksTakenBy([&] {
                  pthread_mutex_lock(&mutex);
                  pthread_mutex_unlock(&mutex);
              }),
              1);
    for (const char* password : {static_cast<const char*>(nullptr), "pw"}) {
        CParcelon zipper;
        bool ok = false;
        const long locks = LocksTakenBy([&] {
            ok = zipper.ZipDirectory(dir.W("src").c_str(), dir.W("out.zip").c_str(), true, 6, password, 0) &&
                 zipper.ZipFiles({dir.W("src/sub/big.bin"), dir.W("src/a.txt")}, dir.W("list.zip").c_str(), 9,
                                 password);
        });
        EXPECT_TRUE(ok);
        EXPECT_EQ(locks, 0) << (password != nullptr ? "with" : "without") << " a password";
    }
}

#endif
