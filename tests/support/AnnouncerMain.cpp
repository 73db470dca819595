// vornex-test-announcer: announces raw printers (_pdl-datastream._tcp) through
// the Avahi daemon, for the discovery tests and benchmark: many at once, or
// with the names a hostile network might give them.
//   vornex-test-announcer PORT NAME...         one service per NAME
//   vornex-test-announcer PORT --count N PREFIX  N services, PREFIX 1 to PREFIX N
// each at a port of its own, from PORT upward (a list shows an address once).
// Prints "Established" once the daemon has taken them all, then announces
// them until it is ended.
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct TAnnouncer {
  std::vector<std::string> Names;
  std::uint16_t Port = 0;
  AvahiSimplePoll* Poll = nullptr;
  // The daemon takes at most 32 entries a group.
  std::vector<AvahiEntryGroup*> Groups;
  std::size_t Established = 0;
};
constexpr std::size_t ServicesPerGroup = 16;

void Fail(const char* what, int error) {
  std::fprintf(stderr, "vornex-test-announcer: %s: %s\n", what, avahi_strerror(error));
  std::exit(1);
}

void OnGroup(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self) {
  auto& a = *static_cast<TAnnouncer*>(self);
  if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
    if (++a.Established == a.Groups.size()) {
      std::printf("Established\n");
      std::fflush(stdout);
    }
  } else if (state == AVAHI_ENTRY_GROUP_COLLISION || state == AVAHI_ENTRY_GROUP_FAILURE) {
    Fail("the services could not be announced", avahi_client_errno(avahi_entry_group_get_client(g)));
  }
}

void OnClient(AvahiClient* client, AvahiClientState state, void* self) {
  auto& a = *static_cast<TAnnouncer*>(self);
  if (state == AVAHI_CLIENT_FAILURE) Fail("the daemon", avahi_client_errno(client));
  if (state != AVAHI_CLIENT_S_RUNNING || !a.Groups.empty()) return;
  // Every group is made before any is committed, so that the count of
  // groups is known when the first says it is established.
  for (std::size_t first = 0; first < a.Names.size(); first += ServicesPerGroup) {
    AvahiEntryGroup* group = avahi_entry_group_new(client, OnGroup, self);
    if (!group) Fail("avahi_entry_group_new", avahi_client_errno(client));
    a.Groups.push_back(group);
    for (std::size_t i = first; i < a.Names.size() && i < first + ServicesPerGroup; ++i) {
      const int r = avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                  static_cast<AvahiPublishFlags>(0), a.Names[i].c_str(),
                                                  "_pdl-datastream._tcp", nullptr, nullptr,
                                                  static_cast<std::uint16_t>(a.Port + i), nullptr);
      if (r < 0) Fail(a.Names[i].c_str(), r);
    }
  }
  for (AvahiEntryGroup* group : a.Groups)
    if (const int r = avahi_entry_group_commit(group); r < 0) Fail("avahi_entry_group_commit", r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: vornex-test-announcer PORT NAME... | PORT --count N PREFIX\n");
    return 2;
  }
  signal(SIGTERM, SIG_DFL);
  TAnnouncer a;
  a.Port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  if (std::string(argv[2]) == "--count" && argc == 5) {
    const int count = std::atoi(argv[3]);
    for (int i = 1; i <= count; ++i) a.Names.push_back(std::string(argv[4]) + " " + std::to_string(i));
  } else {
    for (int i = 2; i < argc; ++i) a.Names.push_back(argv[i]);
  }
  a.Poll = avahi_simple_poll_new();
  int error = 0;
  AvahiClient* client = avahi_client_new(avahi_simple_poll_get(a.Poll), static_cast<AvahiClientFlags>(0), OnClient,
                                         &a, &error);
  if (!client) Fail("avahi_client_new", error);
  avahi_simple_poll_loop(a.Poll);
  avahi_client_free(client);
  avahi_simple_poll_free(a.Poll);
  return 0;
}
