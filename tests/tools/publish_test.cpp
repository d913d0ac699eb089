// tessaly-pack publish and gc against s3rver through rclone, after the rules gc decides by.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "pack/gc_command.h"
#include "pack/published_layout.h"
#include "pack/rclone.h"
#include "tools/pack_test_support.h"
#include "tools/s3_fixture.h"

namespace tessaly::pack::testing {
namespace {

using test::LoopbackS3;

TEST(GcRules, IndexesToKeepAndObjectsToRemove) {
    const std::int64_t hour = 3600;
    const std::int64_t day = 24 * hour;
    const std::int64_t t0 = 1796000000;
    std::int64_t read = 0;
    ASSERT_TRUE(ReadReleaseCopyName(ReleaseCopyName(t0 + 10 * hour), read));
    EXPECT_EQ(read, t0 + 10 * hour);
    EXPECT_EQ(ReleaseCopyName(t0), "20261130T005320Z-FileList.txt");
    EXPECT_FALSE(ReadReleaseCopyName("2026112T212320Z-FileList.txt", read));

    // A listing of releases/: a copy named at `named` (the publishing machine's clock) and
    // uploaded at `uploaded`, then its marker at `live` (the storage's times), unless 0.
    const auto release = [](std::int64_t named, std::int64_t uploaded, std::int64_t live) {
        std::vector<ListedFile> files = {{ReleaseCopyName(named), 100, "", uploaded}};
        if (live != 0) {
            files.push_back({LiveMarkerName(ReleaseCopyName(named)), 0, "", live});
        }
        return files;
    };
    const auto listing = [](std::initializer_list<std::vector<ListedFile>> parts) {
        std::vector<ListedFile> files = {{"notes.txt", 1, "", 0}, {"x.live", 0, "", 0}};
        for (const auto& part : parts) {
            files.insert(files.end(), part.begin(), part.end());
        }
        return files;
    };
    const auto name = [](std::int64_t named) { return ReleaseCopyName(named); };
    const std::vector<ListedFile> three =
        listing({release(t0, t0, t0), release(t0 + 10 * hour, t0 + 10 * hour, t0 + 10 * hour),
                 release(t0 + 20 * hour, t0 + 20 * hour, t0 + 20 * hour)});
    const std::string first = name(t0), second = name(t0 + 10 * hour), third = name(t0 + 20 * hour);
    const std::int64_t now = t0 + 30 * day;
    const struct {
        const char* name;
        std::vector<ListedFile> releases;
        std::size_t keep;
        std::int64_t now;
        std::int64_t olderThan;
        std::vector<std::string> kept;
    } rows[] = {
        {"the last one", three, 1, t0 + 30 * hour, hour, {third}},
        {"the last two", three, 2, t0 + 30 * hour, hour, {second, third}},
        {"all three", three, 5, t0 + 30 * hour, hour, {first, second, third}},
        // The second copy was replaced 5 hours ago: a cache keeping indexes for 6 may serve it.
        {"replaced recently", three, 1, t0 + 25 * hour, 6 * hour, {second, third}},
        {"both replaced recently", three, 1, t0 + 25 * hour, 16 * hour, {first, second, third}},
        // v1 live until an hour ago; a publish that failed after its copy 19 days ago; the live
        // one since an hour ago. v1 was replaced an hour ago, not 19 days ago.
        {"a failed copy between two live ones",
         listing({release(now - 30 * day, now - 30 * day, now - 30 * day),
                  release(now - 19 * day, now - 19 * day, 0),
                  release(now - hour, now - hour, now - hour)}),
         1,
         now,
         7 * day,
         {name(now - 30 * day), name(now - 19 * day), name(now - hour)}},
        // A slow clock named the newest copy before the older one; the markers tell the order.
        {"a copy named by a slow clock",
         listing({release(now - 30 * day, now - 30 * day, now - 30 * day),
                  release(now - 40 * day, now - 2 * hour, now - 2 * hour)}),
         1,
         now,
         7 * day,
         {name(now - 40 * day), name(now - 30 * day)}},
        // A copy without a marker goes once a copy that went live after it has been live for 7d.
        {"an unmarked copy, replaced long ago",
         listing({release(now - 20 * day, now - 20 * day, 0),
                  release(now - 10 * day, now - 10 * day, now - 10 * day),
                  release(now - day, now - day, now - day)}),
         1,
         now,
         7 * day,
         {name(now - 10 * day), name(now - day)}},
        {"an unmarked copy, the newest",
         listing({release(now - 20 * day, now - 20 * day, now - 20 * day),
                  release(now - 10 * day, now - 10 * day, 0)}),
         1,
         now,
         7 * day,
         {name(now - 20 * day), name(now - 10 * day)}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IndexesToKeep(row.releases, row.keep, row.now, row.olderThan), row.kept);
    }

    // publish keeps a copy only when it went live last and holds the index's bytes.
    std::vector<ListedFile> copies = listing({release(t0, t0, t0 + 5), release(t0 + 9, t0 + 9, 0)});
    copies[2].md5 = "aaaa";
    copies[4].md5 = "cccc";
    const struct {
        const char* name;
        std::vector<ListedFile> releases;
        std::string md5;
        std::string reused;
    } reuse[] = {
        {"the last live copy", copies, "aaaa", name(t0)},
        {"a copy that never went live", copies, "cccc", ""},
        {"other bytes", copies, "bbbb", ""},
        {"storage without MD5", copies, "", ""},
        {"no copy", {}, "aaaa", ""},
    };
    for (const auto& row : reuse) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ReusableCopy(row.releases, 100, row.md5), row.reused);
    }

    const std::vector<ListedFile> objects = {
        {"named", 1, "", t0}, {"old", 2, "", t0}, {"new", 3, "", t0 + 2 * hour}};
    const std::vector<ListedFile> remove =
        ObjectsToRemove(objects, {"named"}, t0 + 3 * hour, 2 * hour);
    ASSERT_EQ(remove.size(), 1u);
    EXPECT_EQ(remove[0].name, "old");

    std::int64_t seconds = 0;
    EXPECT_TRUE(ReadDuration("7d", seconds));
    EXPECT_EQ(seconds, 7 * 86400);
    EXPECT_TRUE(ReadDuration("90m", seconds));
    EXPECT_EQ(seconds, 90 * 60);
    for (const char* bad : {"", "d", "0h", "7", "7w", "-1d", "1.5h"}) {
        EXPECT_FALSE(ReadDuration(bad, seconds)) << bad;
    }
}

class PublishTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s3_ = new LoopbackS3(); }
    static void TearDownTestSuite() {
        delete s3_;
        s3_ = nullptr;
    }

    // Builds a package of `files` (relative path to bytes) in a folder of its own.
    fs::path Build(const std::map<std::string, std::string>& files) {
        const fs::path staging = dir_ / ("staging" + std::to_string(++builds_));
        const fs::path out = dir_ / ("package" + std::to_string(builds_));
        for (const auto& [path, bytes] : files) {
            WriteTestFile(staging / path, bytes);
        }
        EXPECT_TRUE(Ended(RunProgram("build " + Quote(staging) + " " + Quote(out)), 0));
        return out;
    }

    static ProgramRun Publish(const fs::path& package, const std::string& bucket) {
        return RunProgram("publish " + Quote(package) + " " + LoopbackS3::Remote(bucket));
    }

    static std::string Object(const std::string& bucket, const std::string& bytes) {
        return "/" + bucket + "/AppData/objects/" + Sha(bytes);
    }

    // What s3rver answers for a path: its body, or "" with the status when it is not 200.
    static std::string Stored(const std::string& path, int* status = nullptr) {
        const httplib::Result result = s3_->Fetch("GET", path);
        if (status != nullptr) {
            *status = result ? result->status : -1;
        }
        return result && result->status == 200 ? result->body : std::string();
    }

    static LoopbackS3* s3_;
    ScratchDir dir_;
    int builds_ = 0;
};

LoopbackS3* PublishTest::s3_ = nullptr;

TEST_F(PublishTest, UploadsEachObjectOnceWithItsCacheHeaders) {
    const std::string a(300000, 'a');
    const std::string b = "bee";
    const fs::path release1 = Build({{"a.bin", a}, {"b.txt", b}, {"copy/a.bin", a}});
    const int before = s3_->Uploads();
    ASSERT_TRUE(Ended(Publish(release1, "twice"), 0, {"uploaded 2 objects (300003 bytes)"}));
    EXPECT_EQ(s3_->Uploads(Object("twice", a)), 1);
    EXPECT_EQ(s3_->Uploads(Object("twice", b)), 1);
    EXPECT_EQ(s3_->Uploads("/twice/AppData/FileList.txt"), 1);
    EXPECT_EQ(s3_->Uploads() - before, 5)
        << "two objects, the release copy, the index and the copy's marker";
    EXPECT_EQ(Stored("/twice/AppData/FileList.txt"),
              ReadWholeFile(release1 / "AppData/FileList.txt"));

    for (const std::string& path : {Object("twice", a), Object("twice", b)}) {
        const httplib::Result head = s3_->Fetch("HEAD", path);
        ASSERT_TRUE(head && head->status == 200) << path;
        EXPECT_EQ(head->get_header_value("Cache-Control"), OBJECT_CACHE_CONTROL);
        EXPECT_EQ(head->get_header_value("Content-Type"), "application/octet-stream");
    }
    const httplib::Result index = s3_->Fetch("HEAD", "/twice/AppData/FileList.txt");
    ASSERT_TRUE(index && index->status == 200);
    EXPECT_EQ(index->get_header_value("Cache-Control"), INDEX_CACHE_CONTROL);

    // The same package again: nothing goes up.
    ASSERT_TRUE(Ended(Publish(release1, "twice"), 0,
                      {"all 2 already at", "(kept), then", "(live already)"}));
    EXPECT_EQ(s3_->Uploads() - before, 5);

    // The same index uploaded by hand lacks its no-cache header: it is not live as publish
    // means it, and goes up again.
    const RcloneRun byHand = RunRclone({"copyto", "--ignore-times"},
                                       {(release1 / "AppData/FileList.txt").string(),
                                        LoopbackS3::Remote("twice") + "/AppData/FileList.txt"},
                                       60);
    ASSERT_EQ(byHand.exitCode, 0) << RcloneFailure(byHand);
    ASSERT_NE(s3_->Fetch("HEAD", "/twice/AppData/FileList.txt")->get_header_value("Cache-Control"),
              INDEX_CACHE_CONTROL);
    ASSERT_TRUE(Ended(Publish(release1, "twice"), 0, {"(live now)"}));
    EXPECT_EQ(s3_->Fetch("HEAD", "/twice/AppData/FileList.txt")->get_header_value("Cache-Control"),
              INDEX_CACHE_CONTROL);
    EXPECT_EQ(s3_->Uploads("/twice/AppData/FileList.txt"), 3);

    // verify reads the package through the same server and finds its cache headers right.
    const ProgramRun run =
        RunProgram("verify " + s3_->PackageBase("twice") + " --against " + Quote(release1));
    EXPECT_TRUE(Ended(run, 0));
    EXPECT_EQ(run.output.find("warning:"), std::string::npos) << run.output;

    // One file changed: one object, the release copy and the index.
    const fs::path release2 = Build({{"a.bin", a}, {"b.txt", "bee 2"}, {"copy/a.bin", a}});
    const int before2 = s3_->Uploads();
    ASSERT_TRUE(Ended(Publish(release2, "twice"), 0, {"uploaded 1 object (5 bytes)"}));
    EXPECT_EQ(s3_->Uploads() - before2, 4);
    EXPECT_EQ(Stored("/twice/AppData/FileList.txt"),
              ReadWholeFile(release2 / "AppData/FileList.txt"));
}

TEST_F(PublishTest, InterruptedPublishLeavesTheOldIndexLive) {
    const fs::path release1 = Build({{"one.bin", "release one"}});
    ASSERT_TRUE(Ended(Publish(release1, "cut"), 0));
    std::map<std::string, std::string> files;
    for (int i = 0; i < 6; ++i) {
        files["file" + std::to_string(i)] = "release two, file " + std::to_string(i);
    }
    const fs::path release2 = Build(files);

    s3_->RefuseUploadsAfter(2);
    const ProgramRun run = Publish(release2, "cut");
    s3_->RefuseUploadsAfter(-1);
    EXPECT_TRUE(Ended(run, 1, {"stays live"}));
    EXPECT_EQ(Stored("/cut/AppData/FileList.txt"),
              ReadWholeFile(release1 / "AppData/FileList.txt"));
    int status = 0;
    EXPECT_EQ(Stored(Object("cut", "release one"), &status), "release one") << status;
    int uploaded = 0;
    for (const auto& [name, bytes] : files) {
        uploaded += s3_->Uploads(Object("cut", bytes));
    }
    EXPECT_EQ(uploaded, 2) << "two uploads let through before the refusals";

    ASSERT_TRUE(Ended(Publish(release2, "cut"), 0, {"uploaded 4 objects"}));
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(s3_->Uploads(Object("cut", bytes)), 1) << name;
    }
    EXPECT_EQ(Stored("/cut/AppData/FileList.txt"),
              ReadWholeFile(release2 / "AppData/FileList.txt"));
}

TEST_F(PublishTest, AnObjectWithOtherBytesStopsThePublishBeforeAnyUpload) {
    const fs::path package = Build({{"good.bin", "the right bytes"}, {"other.bin", "other"}});
    // Cut short, and of the same size, where only the MD5 tells.
    const struct {
        const char* bucket;
        std::string planted;
    } rows[] = {{"clash", "not the right bytes"}, {"clash-same-size", "The right bytes"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bucket);
        const fs::path wrong = dir_ / row.bucket;
        WriteTestFile(wrong, row.planted);
        const RcloneRun planted =
            RunRclone({"copyto"},
                      {wrong.string(), LoopbackS3::Remote(row.bucket) + "/AppData/objects/" +
                                           Sha("the right bytes")},
                      60);
        ASSERT_EQ(planted.exitCode, 0) << RcloneFailure(planted);
        const int before = s3_->Uploads();

        EXPECT_TRUE(Ended(Publish(package, row.bucket), 1,
                          {Sha("the right bytes") + ": already there with other bytes"}));
        EXPECT_EQ(s3_->Uploads(), before) << "nothing uploaded";
        int status = 0;
        Stored("/" + std::string(row.bucket) + "/AppData/FileList.txt", &status);
        EXPECT_EQ(status, 404);
        EXPECT_EQ(Stored(Object(row.bucket, "the right bytes")), row.planted);
    }
}

TEST_F(PublishTest, APackageThatFailsItsChecksUploadsNothing) {
    const fs::path key = dir_ / "index.pem";
    const fs::path secondKey = dir_ / "index-2.pem";
    ASSERT_TRUE(Ended(RunProgram("keygen " + Quote(key)), 0));
    ASSERT_TRUE(Ended(RunProgram("keygen " + Quote(secondKey)), 0));
    const auto signExpired = [&](const fs::path& package) {
        const std::string sign = "sign " + Quote(package) + " --key " + Quote(key);
        ASSERT_TRUE(Ended(RunProgram(sign + " --expires 2020-01-01"), 0));
    };
    const struct {
        const char* name;
        std::function<void(const fs::path& package)> spoil;
        const char* said;
    } rows[] = {
        {"a line the installer skips",
         [](const fs::path& package) {
             const fs::path index = package / "AppData/FileList.txt";
             WriteTestFile(index, ReadWholeFile(index) + "x|y|z\r\n");
         },
         "fails tessaly-pack check"},
        {"an object changed after the build",
         [](const fs::path& package) {
             WriteTestFile(package / "AppData/objects" / Sha("payload"), "changed");
         },
         "its content does not match its name"},
        {"an expired signature", signExpired, "expired on 2020-01-01"},
        {"the second key's signature expired",
         [&](const fs::path& package) {
             const fs::path index = package / "AppData/FileList.txt";
             const std::string unsigned_ = ReadWholeFile(index);
             ASSERT_TRUE(Ended(RunProgram("sign " + Quote(package) + " --key " + Quote(key)), 0));
             const std::string valid = ReadWholeFile(index);
             WriteTestFile(index, unsigned_);
             ASSERT_TRUE(Ended(RunProgram("sign " + Quote(package) + " --key " + Quote(secondKey) +
                                          " --expires 2020-01-01"),
                               0));
             const std::string expired = ReadWholeFile(index).substr(unsigned_.size());
             WriteTestFile(index, valid + expired);
         },
         "expired on 2020-01-01"},
        {"an expired signature, with CR line ends",
         [&](const fs::path& package) {
             signExpired(package);
             const fs::path index = package / "AppData/FileList.txt";
             std::string text = ReadWholeFile(index);
             text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
             WriteTestFile(index, text);
         },
         "expired on 2020-01-01"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path package = Build({{"payload", "payload"}});
        row.spoil(package);
        const int before = s3_->Uploads();
        EXPECT_TRUE(Ended(Publish(package, "refused"), 1, {row.said}));
        EXPECT_EQ(s3_->Uploads(), before);
    }
}

TEST_F(PublishTest, GcRemovesOnlyWhatNoRecentIndexNames) {
    // Three releases: "shared" in all, then one file of each release's own.
    for (const char* own : {"first", "second", "third"}) {
        ASSERT_TRUE(Ended(Publish(Build({{"shared", "shared"}, {"own", own}}), "retired"), 0));
    }
    // Every object is more than a second old, and the last release was replaced by none.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const std::string dest = LoopbackS3::Remote("retired");
    const auto present = [&](const std::string& bytes) {
        return s3_->Fetch("HEAD", Object("retired", bytes))->status == 200;
    };

    ASSERT_TRUE(Ended(RunProgram("gc " + dest + " --keep 1 --older-than 1h"), 0,
                      {"removed 0 of 4 objects"}));

    ASSERT_TRUE(Ended(RunProgram("gc " + dest + " --keep 2 --older-than 1s --dry-run"), 0,
                      {"would remove objects/" + Sha("first"), "would remove 1 of 4 objects"}));
    EXPECT_TRUE(present("first"));

    ASSERT_TRUE(Ended(RunProgram("gc " + dest + " --keep 2 --older-than 1s"), 0));
    EXPECT_FALSE(present("first"));
    EXPECT_TRUE(present("second"));

    ASSERT_TRUE(Ended(RunProgram("gc " + dest + " --keep 1 --older-than 1s"), 0));
    EXPECT_FALSE(present("second"));
    EXPECT_TRUE(present("third"));
    EXPECT_TRUE(present("shared"));

    // No live index: nothing can be judged, so nothing goes.
    EXPECT_TRUE(Ended(RunProgram("gc " + LoopbackS3::Remote("empty") + " --keep 1 --older-than 1s"),
                      1, {"no live index"}));
}

TEST_F(PublishTest, AFailedIndexUploadLeavesThePreviousIndexProtected) {
    // v1 goes live; v2's object and copy go up but its index is refused; v3 goes live later.
    const std::string dest = LoopbackS3::Remote("failed-copy");
    ASSERT_TRUE(Ended(Publish(Build({{"own", "v1"}}), "failed-copy"), 0));
    const fs::path release2 = Build({{"own", "v2"}});
    s3_->RefuseUploadsAfter(2);
    const ProgramRun run = Publish(release2, "failed-copy");
    s3_->RefuseUploadsAfter(-1);
    ASSERT_TRUE(Ended(run, 1));
    EXPECT_EQ(s3_->Uploads("/failed-copy/AppData/FileList.txt"), 1) << "v1's alone";
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(Ended(Publish(Build({{"own", "v3"}}), "failed-copy"), 0));

    // v1 was live until just now: its objects stay, whatever the failed copy's time says, and so
    // do those of the copy that never went live.
    ASSERT_TRUE(Ended(RunProgram("gc " + dest + " --keep 1 --older-than 4s"), 0,
                      {"3 of 3 published indexes"}));
    for (const char* bytes : {"v1", "v2", "v3"}) {
        EXPECT_EQ(s3_->Fetch("HEAD", Object("failed-copy", bytes))->status, 200) << bytes;
    }
}

TEST_F(PublishTest, ConnectionStringParametersAreNeverShown) {
    const fs::path package = Build({{"a", "a"}});
    // Nothing listens on port 9, so every step fails; rclone cannot even make the second
    // backend, and echoes DEST in its own message.
    const struct {
        std::string dest;
        const char* shown;
    } rows[] = {
        {":s3,provider=Other,access_key_id=MARKER-ID-4f9c,secret_access_key=MARKER-SECRET-4f9c,"
         "endpoint=\"http://127.0.0.1:9\":bucket",
         ":s3:bucket"},
        {":nosuch,token=\"MARKER,4f9c:\":bucket", ":nosuch:bucket"},
    };
    for (const auto& row : rows) {
        for (const std::string& args : {"publish " + Quote(package) + " '" + row.dest + "'",
                                        "gc '" + row.dest + "' --keep 1 --older-than 1d"}) {
            SCOPED_TRACE(args);
            const ProgramRun run = RunProgram(args);
            EXPECT_TRUE(Ended(run, 1, {row.shown}));
            EXPECT_EQ(run.output.find("MARKER"), std::string::npos) << run.output;
        }
    }
    // A success names DEST the same way.
    const ProgramRun run = RunProgram("publish " + Quote(package) + " s3test,acl=private:shown");
    ASSERT_TRUE(Ended(run, 0, {"s3test:shown/AppData/FileList.txt (live now)"}));
    EXPECT_EQ(run.output.find("acl="), std::string::npos) << run.output;
}

TEST_F(PublishTest, ALocalDestGetsTheUploadTimesAndAWholeIndex) {
    const fs::path dest = dir_ / "dest";
    const fs::path release1 = Build({{"one", "one"}});
    // The package's files are old; at DEST they are as old as the upload.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    for (const auto& entry : fs::recursive_directory_iterator(release1)) {
        fs::last_write_time(entry.path(), old);
    }
    const auto publish = [&](const fs::path& package) {
        return RunProgram("publish " + Quote(package) + " " + Quote(dest));
    };
    ASSERT_TRUE(Ended(publish(release1), 0, {"is a local folder", "holds no package yet"}));
    std::vector<fs::path> written;
    for (const auto& entry : fs::recursive_directory_iterator(dest)) {
        written.push_back(entry.path().filename());
        if (entry.is_regular_file()) {
            EXPECT_GT(fs::last_write_time(entry.path()), old + std::chrono::hours(24 * 364))
                << entry.path();
        }
    }
    EXPECT_EQ(std::count(written.begin(), written.end(), ".FileList.txt.partial"), 0);
    EXPECT_EQ(ReadWholeFile(dest / "AppData/FileList.txt"),
              ReadWholeFile(release1 / "AppData/FileList.txt"));

    // An index put live by hand, without publish: no release copy names its objects, the live
    // index alone keeps them.
    const fs::path release2 = Build({{"two", "two"}});
    fs::copy(release2 / "AppData", dest / "AppData",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const ProgramRun run = RunProgram("gc " + Quote(dest) + " --keep 1 --older-than 1s");
    ASSERT_TRUE(Ended(run, 0));
    for (const char* bytes : {"one", "two"}) {
        EXPECT_TRUE(fs::exists(dest / "AppData/objects" / Sha(bytes))) << bytes << run.output;
    }

    // A new index replaces the file: it went up under another name and was moved into place.
    struct stat before {};
    ASSERT_EQ(stat((dest / "AppData/FileList.txt").c_str(), &before), 0);
    ASSERT_TRUE(Ended(publish(Build({{"three", "three"}})), 0));
    struct stat after {};
    ASSERT_EQ(stat((dest / "AppData/FileList.txt").c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place";

    // A package never built, and a remote rclone does not know, are named as such.
    EXPECT_TRUE(Ended(publish(dir_ / "never-built"), 1, {"build it first"}));
    EXPECT_TRUE(Ended(RunProgram("publish " + Quote(release1) + " s3tset:bucket"), 1,
                      {"rclone has no remote named \"s3tset\" (rclone listremotes"}));
}

}  // namespace
}  // namespace tessaly::pack::testing
