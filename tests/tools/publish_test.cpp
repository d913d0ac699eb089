// tessaly-pack publish and gc against s3rver on the loopback interface, through rclone's S3
// backend: each object is uploaded once and with its cache headers, an interrupted publish leaves
// the old index live, an object with other bytes stops the publish, and gc removes only what no
// recent index names. The rules gc decides by are checked alone first.
#include <gtest/gtest.h>

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
    const std::int64_t t0 = 1796000000;
    const std::vector<std::string> copies = {ReleaseCopyName(t0), ReleaseCopyName(t0 + 10 * hour),
                                             ReleaseCopyName(t0 + 20 * hour), "notes.txt"};
    std::int64_t read = 0;
    ASSERT_TRUE(ReadReleaseCopyName(copies[1], read));
    EXPECT_EQ(read, t0 + 10 * hour);
    EXPECT_EQ(copies[0], "20261130T005320Z-FileList.txt");
    EXPECT_FALSE(ReadReleaseCopyName("2026112T212320Z-FileList.txt", read));

    const struct {
        std::size_t keep;
        std::int64_t now;
        std::int64_t olderThan;
        std::vector<std::string> kept;
    } rows[] = {
        {1, t0 + 30 * hour, hour, {copies[2]}},
        {2, t0 + 30 * hour, hour, {copies[1], copies[2]}},
        {5, t0 + 30 * hour, hour, {copies[0], copies[1], copies[2]}},
        // The second copy was replaced 5 hours ago: a cache keeping indexes for 6 may serve it.
        {1, t0 + 25 * hour, 6 * hour, {copies[1], copies[2]}},
        {1, t0 + 25 * hour, 16 * hour, {copies[0], copies[1], copies[2]}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keep);
        SCOPED_TRACE(row.olderThan);
        EXPECT_EQ(IndexesToKeep(copies, row.keep, row.now, row.olderThan), row.kept);
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
            WriteFile(staging / path, bytes);
        }
        const ProgramRun run = RunProgram("build " + Quote(staging) + " " + Quote(out));
        EXPECT_EQ(run.exitCode, 0) << run.output;
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
    ProgramRun run = Publish(release1, "twice");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("uploaded 2 objects (300003 bytes)"), std::string::npos)
        << run.output;
    EXPECT_EQ(s3_->Uploads(Object("twice", a)), 1);
    EXPECT_EQ(s3_->Uploads(Object("twice", b)), 1);
    EXPECT_EQ(s3_->Uploads("/twice/AppData/FileList.txt"), 1);
    EXPECT_EQ(s3_->Uploads() - before, 4) << "two objects, the release copy and the index";
    EXPECT_EQ(Stored("/twice/AppData/FileList.txt"), ReadFile(release1 / "AppData/FileList.txt"));

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
    run = Publish(release1, "twice");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("all 2 already at"), std::string::npos) << run.output;
    EXPECT_EQ(s3_->Uploads() - before, 4);

    // verify reads the package through the same server and finds its cache headers right.
    run = RunProgram("verify " + s3_->PackageBase("twice") + " --against " + Quote(release1));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("warning:"), std::string::npos) << run.output;

    // One file changed: one object, the release copy and the index.
    const fs::path release2 = Build({{"a.bin", a}, {"b.txt", "bee 2"}, {"copy/a.bin", a}});
    run = Publish(release2, "twice");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("uploaded 1 object (5 bytes)"), std::string::npos) << run.output;
    EXPECT_EQ(s3_->Uploads() - before, 7);
    EXPECT_EQ(Stored("/twice/AppData/FileList.txt"), ReadFile(release2 / "AppData/FileList.txt"));
}

TEST_F(PublishTest, InterruptedPublishLeavesTheOldIndexLive) {
    const fs::path release1 = Build({{"one.bin", "release one"}});
    ASSERT_EQ(Publish(release1, "cut").exitCode, 0);
    std::map<std::string, std::string> files;
    for (int i = 0; i < 6; ++i) {
        files["file" + std::to_string(i)] = "release two, file " + std::to_string(i);
    }
    const fs::path release2 = Build(files);

    s3_->RefuseUploadsAfter(2);
    ProgramRun run = Publish(release2, "cut");
    s3_->RefuseUploadsAfter(-1);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("stays live"), std::string::npos) << run.output;
    EXPECT_EQ(Stored("/cut/AppData/FileList.txt"), ReadFile(release1 / "AppData/FileList.txt"));
    int status = 0;
    EXPECT_EQ(Stored(Object("cut", "release one"), &status), "release one") << status;
    int uploaded = 0;
    for (const auto& [name, bytes] : files) {
        uploaded += s3_->Uploads(Object("cut", bytes));
    }
    EXPECT_EQ(uploaded, 2) << "two uploads let through before the refusals";

    run = Publish(release2, "cut");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("uploaded 4 objects"), std::string::npos) << run.output;
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(s3_->Uploads(Object("cut", bytes)), 1) << name;
    }
    EXPECT_EQ(Stored("/cut/AppData/FileList.txt"), ReadFile(release2 / "AppData/FileList.txt"));
}

TEST_F(PublishTest, AnObjectWithOtherBytesStopsThePublishBeforeAnyUpload) {
    const fs::path package = Build({{"good.bin", "the right bytes"}, {"other.bin", "other"}});
    const fs::path wrong = dir_ / "wrong";
    WriteFile(wrong, "not the right bytes");
    const RcloneRun planted =
        RunRclone({"copyto", wrong.string(),
                   LoopbackS3::Remote("clash") + "/AppData/objects/" + Sha("the right bytes")},
                  60);
    ASSERT_EQ(planted.exitCode, 0) << RcloneFailure(planted);
    const int before = s3_->Uploads();

    const ProgramRun run = Publish(package, "clash");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find(Sha("the right bytes") + ": already there with other bytes"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(s3_->Uploads(), before) << "nothing uploaded";
    int status = 0;
    Stored("/clash/AppData/FileList.txt", &status);
    EXPECT_EQ(status, 404);
    EXPECT_EQ(Stored(Object("clash", "the right bytes")), "not the right bytes");
}

TEST_F(PublishTest, APackageThatFailsItsChecksUploadsNothing) {
    const fs::path key = dir_ / "index.pem";
    ASSERT_EQ(RunProgram("keygen " + Quote(key)).exitCode, 0);
    const auto signExpired = [&](const fs::path& package) {
        const std::string sign = "sign " + Quote(package) + " --key " + Quote(key);
        ASSERT_EQ(RunProgram(sign + " --expires 2020-01-01").exitCode, 0);
    };
    const struct {
        const char* name;
        std::function<void(const fs::path& package)> spoil;
        const char* said;
    } rows[] = {
        {"a line the installer skips",
         [](const fs::path& package) {
             const fs::path index = package / "AppData/FileList.txt";
             WriteFile(index, ReadFile(index) + "x|y|z\r\n");
         },
         "fails tessaly-pack check"},
        {"an object changed after the build",
         [](const fs::path& package) {
             WriteFile(package / "AppData/objects" / Sha("payload"), "changed");
         },
         "its content does not match its name"},
        {"an expired signature", signExpired, "expired on 2020-01-01"},
        {"an expired signature, with CR line ends",
         [&](const fs::path& package) {
             signExpired(package);
             const fs::path index = package / "AppData/FileList.txt";
             std::string text = ReadFile(index);
             text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
             WriteFile(index, text);
         },
         "expired on 2020-01-01"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path package = Build({{"payload", "payload"}});
        row.spoil(package);
        const int before = s3_->Uploads();
        const ProgramRun run = Publish(package, "refused");
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find(row.said), std::string::npos) << run.output;
        EXPECT_EQ(s3_->Uploads(), before);
    }
}

TEST_F(PublishTest, GcRemovesOnlyWhatNoRecentIndexNames) {
    // Three releases: "shared" in all, then one file of each release's own.
    for (const char* own : {"first", "second", "third"}) {
        const ProgramRun run = Publish(Build({{"shared", "shared"}, {"own", own}}), "retired");
        ASSERT_EQ(run.exitCode, 0) << run.output;
    }
    // Every object is more than a second old, and the last release was replaced by none.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const std::string dest = LoopbackS3::Remote("retired");
    const auto present = [&](const std::string& bytes) {
        return s3_->Fetch("HEAD", Object("retired", bytes))->status == 200;
    };

    ProgramRun run = RunProgram("gc " + dest + " --keep 1 --older-than 1h");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("removed 0 of 4 objects"), std::string::npos) << run.output;

    run = RunProgram("gc " + dest + " --keep 2 --older-than 1s --dry-run");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("would remove objects/" + Sha("first")), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("would remove 1 of 4 objects"), std::string::npos) << run.output;
    EXPECT_TRUE(present("first"));

    run = RunProgram("gc " + dest + " --keep 2 --older-than 1s");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(present("first"));
    EXPECT_TRUE(present("second"));

    run = RunProgram("gc " + dest + " --keep 1 --older-than 1s");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_FALSE(present("second"));
    EXPECT_TRUE(present("third"));
    EXPECT_TRUE(present("shared"));

    // No live index: nothing can be judged, so nothing goes.
    run = RunProgram("gc " + LoopbackS3::Remote("empty") + " --keep 1 --older-than 1s");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("no live index"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace tessaly::pack::testing
