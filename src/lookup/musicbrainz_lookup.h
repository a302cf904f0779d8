// The disc lookup on the MusicBrainz web service (ws/2, through
// libmusicbrainz5): releases by disc ID, the first one fetched with its
// recordings, artist credits and the disc IDs of its media, and the answer
// mapped into a disc record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/version.h"
#include "output/disc_metadata.h"

namespace tonvik::lookup {

// Where the lookup asks. The host is the library's default; an HTTP proxy
// comes from the environment variable http_proxy, as the library reads it.
// The library spaces requests to a host containing "musicbrainz.org" 2 s
// apart; tests and the benchmark name another host and go through a proxy.
struct Service {
  std::string host = "musicbrainz.org";
  int port = 80;
  std::string user_agent = std::string("Tonvik/") + kProductVersion + " ( https://tonvik.example/ )";
};

// Clears `out`, then fills it from the service: artist ("Various artists"
// when the release names none), album, year (first 4 characters of the
// release date), one title per track of the medium that holds this disc
// (track artist + " / " + title when the track's credit differs from the
// release's), release identifier. Web-service failures (no connection,
// status errors, answers that cannot be parsed) end silently with `out`
// empty; the disc ID errors (#1591-#1593) and anything unexpected propagate.
void LookupDisc(const std::vector<uint8_t>& toc, DiscMetadata& out, const Service& service = {});

// The second half of LookupDisc on an answer already fetched: clears `out`,
// parses `document` (the service's answer to the release query, a ws/2
// <metadata> document) the way the library parses what it fetches, and
// fills `out` from its release for the disc with this ID and track count.
// An answer that does not parse or holds no release leaves `out` empty.
void MapReleaseAnswer(const std::string& document, const std::string& disc_id, int disc_tracks,
                      DiscMetadata& out);

// The one-time set-up of the libraries under the lookup, done once per
// process and safe to call from any thread. libxml2 (which parses the
// answers) wants xmlInitParser called once before threads parse; its lazy
// first call is not safe when two threads race into it. neon is set up by
// libmusicbrainz5 itself while the program loads (ne_sock_init in a library
// constructor), before any thread exists. LookupDisc calls this too; a caller
// that starts a lookup thread calls it first, on its own thread.
void InitialiseLookupLibraries();

}  // namespace tonvik::lookup
