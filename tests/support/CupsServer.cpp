#include "tests/support/CupsServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vornex::test {

namespace fs = std::filesystem;

TCupsServer::TCupsServer() {
  const fs::path root = Dir.Root;
  for (const char* sub : {"spool", "cache", "state", "tmp"}) fs::create_directories(root / sub);
  // cupsd refuses a configuration others may change, and its backends run
  // as lp, which must reach the spooled files.
  ::chmod(root.c_str(), 0755);
  SocketPath = (root / "cups.sock").string();
  std::ofstream(root / "cupsd.conf") << "Listen " << SocketPath << "\n"
                                     << "Browsing No\nWebInterface No\nDefaultAuthType None\nLogLevel info\n"
                                     // A printed job's file goes; its state stays to be asked.
                                     << "PreserveJobFiles No\n"
                                     << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                     << "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                     << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n"
                                     << "</Policy>\n";
  // Everything it writes stays in the folder; the backends are the system's.
  std::ofstream files(root / "cups-files.conf");
  files << "ServerRoot " << root.string() << "\nServerBin /usr/lib/cups\n";
  for (const auto& [key, sub] : std::vector<std::pair<const char*, const char*>>{
           {"RequestRoot", "spool"}, {"CacheDir", "cache"}, {"StateDir", "state"}, {"TempDir", "tmp"},
           {"ErrorLog", "error_log"}, {"AccessLog", "access_log"}, {"PageLog", "page_log"}, {"Printcap", "printcap"}})
    files << key << " " << (root / sub).string() << "\n";
  files << "SystemGroup root\n";
  files.close();
  if (!fs::exists("/usr/lib/cups/backend/socket")) {
    Why = "CUPS's socket backend (/usr/lib/cups/backend/socket, Debian's cups package) is missing";
    return;
  }
  Daemon = std::make_unique<TBackground>(std::vector<std::string>{
      "cupsd", "-f", "-c", (root / "cupsd.conf").string(), "-s", (root / "cups-files.conf").string()});
  WaitFor([&] { return !Daemon->Started() || Connectable(SocketPath); }, 10000);
  if (!Daemon->Started() || !Connectable(SocketPath)) Why = "cupsd did not start: " + Daemon->Output() + Log();
}

TCupsServer::~TCupsServer() { Daemon.reset(); }

std::string TCupsServer::Run(std::vector<std::string> command) {
  command.insert(command.begin() + 1, {"-h", SocketPath});
  const TRun run = RunProgram(command);
  if (run.Status == 0) return {};
  std::string said = command[0] + " (exit " + std::to_string(run.Status) + "): " + run.Out + run.Err;
  return said;
}

std::string TCupsServer::AddRawQueue(const std::string& name, const std::string& deviceUri,
                                     const std::string& description) {
  std::vector<std::string> command{"lpadmin", "-p", name, "-v", deviceUri, "-E"};
  if (!description.empty()) command.insert(command.end(), {"-D", description});
  return Run(command);
}

std::vector<std::string> TCupsServer::PendingJobs(const std::string& queue) {
  const TRun run = RunProgram({"lpstat", "-h", SocketPath, "-o", queue});
  std::vector<std::string> jobs;
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) jobs.push_back(line.substr(0, line.find(' ')));
  return jobs;
}

std::string TCupsServer::Log() const {
  std::ifstream in(Dir.Path("error_log"));
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vornex::test
