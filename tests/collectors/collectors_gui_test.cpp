// The weather command in the real program under the test display: the real
// download engine fetches the series from the loopback server, the frames and
// the animation are made, and the animation's page is shown.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "collectors/weather_collector.h"
#include "tests/collectors/collector_test_support.h"
#include "tests/support/gui_driver.h"
#include "tests/support/test_server.h"

namespace mireva::testing {
namespace {

TEST(CollectorsGui, InfraredAnimationFromTheLoopbackServer) {
  if (!DisplayAvailable()) GTEST_SKIP() << "no display";
  TestServer server;
  ASSERT_TRUE(server.Running());
  const std::string frames = server.Folder() + "/frames";
  std::filesystem::create_directories(frames);

  // The series of now and of a few minutes later, should the hour turn while
  // the program starts.
  const WeatherKind& kind = *FindWeatherKind(714);
  std::set<std::string> names;
  std::string routes = R"({"routes": {"/": {"body": "<html><body>index</body></html>"})";
  int seed = 1;
  for (std::time_t at : {std::time(nullptr), std::time(nullptr) + 300}) {
    for (const std::string& stamp : StampSeries(kind, at)) {
      const std::string name = WeatherImageName(kind, stamp);
      if (!names.insert(name).second) continue;
      FrameShape shape;
      shape.seed = static_cast<unsigned>(seed++);
      WriteFile(frames + "/" + name, MakeGif(shape));
      routes += ",\"" + WeatherServerPath(kind, stamp) + "\": {\"body_file\": \"" + frames + "/" +
                name + "\", \"content_type\": \"image/gif\"}";
    }
  }
  routes += "}}";
  server.SetRoutes(routes);

  GuiOptions o;
  o.args = {server.Url("/")};
  o.env = {{"MIREVA_WEATHER_HOST", "127.0.0.1:" + std::to_string(server.Port())}};
  o.script = {"wait-complete 30000", "command 714", "wait-complete 60000", "log-address", "quit"};
  GuiRun run = RunMireva(o);
  ASSERT_FALSE(run.timedOut) << run.Dump();
  EXPECT_EQ(run.exitCode, 0) << run.Dump();
  // No frame was missing: no copy or builder message names a GIF.
  for (const std::string& m : run.Values("message"))
    EXPECT_EQ(m.find(".gif"), std::string::npos) << run.Dump();
  EXPECT_FALSE(run.Has("command", "714 disabled")) << run.Dump();

  // The list named the 20 images, and the engine fetched them all.
  const std::string list = ReadFile(run.home + "/Download.lst");
  EXPECT_EQ(list.rfind("start download;\r\nindex page;\r\nhttp://127.0.0.1:", 0), 0u) << list;
  int fetched = 0;
  for (const LoggedRequest& r : server.Requests())
    if (r.path.rfind("/img/him/ni/", 0) == 0) ++fetched;
  EXPECT_EQ(fetched, 20);

  for (int k = 1; k <= 20; ++k)
    EXPECT_TRUE(std::filesystem::exists(run.home + "/DownLoad/Weather/" + std::to_string(k) + ".gif")) << k;
  DecodedGif gif = DecodeGif(run.home + "/DownLoad/Weather/Himawari.gif");
  ASSERT_TRUE(gif.ok);
  EXPECT_EQ(gif.imageCount, 21);
  EXPECT_EQ(gif.loopCount, 0);

  auto completes = run.Values("complete");
  ASSERT_FALSE(completes.empty()) << run.Dump();
  EXPECT_EQ(completes.back(), "file://" + run.home + "/Himawari3.html") << run.Dump();
  RemoveFolder(run.home);
}

}  // namespace
}  // namespace mireva::testing
