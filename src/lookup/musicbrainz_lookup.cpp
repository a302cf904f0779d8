#include "lookup/musicbrainz_lookup.h"

#include <musicbrainz5/Artist.h>
#include <musicbrainz5/ArtistCredit.h>
#include <musicbrainz5/Disc.h>
#include <musicbrainz5/HTTPFetch.h>
#include <musicbrainz5/Medium.h>
#include <musicbrainz5/MediumList.h>
#include <musicbrainz5/Metadata.h>
#include <musicbrainz5/NameCredit.h>
#include <musicbrainz5/NameCreditList.h>
#include <musicbrainz5/Query.h>
#include <musicbrainz5/Recording.h>
#include <musicbrainz5/Release.h>
#include <musicbrainz5/ReleaseList.h>
#include <musicbrainz5/Track.h>
#include <musicbrainz5/TrackList.h>
#include <musicbrainz5/xmlParser.h>
#include <libxml/parser.h>

#include <memory>
#include <mutex>

#include "lookup/disc_id.h"

namespace tonvik::lookup {
namespace {

// An artist credit as the service shows it: each credited name (or the
// artist's own name when the credit keeps it) followed by its join phrase.
std::string CreditText(const MusicBrainz5::CArtistCredit* credit) {
  std::string text;
  if (!credit || !credit->NameCreditList()) return text;
  const MusicBrainz5::CNameCreditList& names = *credit->NameCreditList();
  for (int i = 0; i < names.NumItems(); ++i) {
    const MusicBrainz5::CNameCredit* name = names.Item(i);
    std::string shown = name->Name();
    if (shown.empty() && name->Artist()) shown = name->Artist()->Name();
    text += shown + name->JoinPhrase();
  }
  return text;
}

// The medium of a release that holds this disc: the one whose disc list
// carries the disc ID, else the first whose track count is the disc's, else
// the first medium at all.
const MusicBrainz5::CMedium* MediumOfDisc(const MusicBrainz5::CRelease& release,
                                          const std::string& disc_id, int disc_tracks) {
  const MusicBrainz5::CMediumList* media = release.MediumList();
  if (!media || media->NumItems() == 0) return nullptr;
  for (int i = 0; i < media->NumItems(); ++i)
    if (media->Item(i)->ContainsDiscID(disc_id)) return media->Item(i);
  for (int i = 0; i < media->NumItems(); ++i) {
    const MusicBrainz5::CTrackList* tracks = media->Item(i)->TrackList();
    if (tracks && tracks->Count() == disc_tracks) return media->Item(i);
  }
  return media->Item(0);
}

void FillFromRelease(const MusicBrainz5::CRelease& release, const std::string& disc_id,
                     int disc_tracks, DiscMetadata& out) {
  const std::string release_artist = CreditText(release.ArtistCredit());
  out.artist = release_artist.empty() ? "Various artists" : release_artist;
  out.album = release.Title();
  out.year = release.Date().substr(0, 4);
  out.release_id = release.ID();

  const MusicBrainz5::CMedium* medium = MediumOfDisc(release, disc_id, disc_tracks);
  const MusicBrainz5::CTrackList* tracks = medium ? medium->TrackList() : nullptr;
  if (!tracks) return;
  out.titles.resize(size_t(tracks->NumItems()));
  for (int i = 0; i < tracks->NumItems(); ++i) {
    const MusicBrainz5::CTrack* track = tracks->Item(i);
    // ws/2 credits every track; a credit of its own is one that differs from
    // the release's (a compilation, a composer per piece).
    const std::string track_artist = CreditText(track->ArtistCredit());
    std::string title = track->Title();
    if (title.empty() && track->Recording()) title = track->Recording()->Title();
    if (!track_artist.empty() && track_artist != release_artist) title = track_artist + " / " + title;
    out.titles[size_t(i)] = title;
  }
}

}  // namespace

void InitialiseLookupLibraries() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

void LookupDisc(const std::vector<uint8_t>& toc, DiscMetadata& out, const Service& service) {
  InitialiseLookupLibraries();
  const std::string disc_id = DiscIdFromToc(toc);
  const int disc_tracks = DiscIdInputFromToc(toc).last;
  out = DiscMetadata{};

  MusicBrainz5::CQuery query(service.user_agent, service.host, service.port);
  try {
    MusicBrainz5::CMetadata found = query.Query("discid", disc_id);
    const MusicBrainz5::CDisc* disc = found.Disc();
    if (!disc || !disc->ReleaseList() || disc->ReleaseList()->NumItems() == 0) return;
    const std::string release_id = disc->ReleaseList()->Item(0)->ID();
    if (release_id.empty()) return;

    MusicBrainz5::CQuery::tParamMap params;
    params["inc"] = "recordings artist-credits discids";
    MusicBrainz5::CMetadata fetched = query.Query("release", release_id, "", params);
    if (!fetched.Release()) return;
    FillFromRelease(*fetched.Release(), disc_id, disc_tracks, out);
  } catch (const MusicBrainz5::CExceptionBase&) {
    out = DiscMetadata{};  // the service failed: nothing is loaded
  }
}

void MapReleaseAnswer(const std::string& document, const std::string& disc_id, int disc_tracks,
                      DiscMetadata& out) {
  InitialiseLookupLibraries();
  out = DiscMetadata{};
  // As CQuery reads a fetched answer: the root element of a document that
  // parsed without error, whatever its name.
  XMLResults results;
  const std::unique_ptr<XMLNode> root(XMLRootNode::parseString(document, &results));
  if (!root || results.code != eXMLErrorNone || root->isEmpty()) return;
  try {
    const MusicBrainz5::CMetadata answer(*root);
    if (answer.Release()) FillFromRelease(*answer.Release(), disc_id, disc_tracks, out);
  } catch (const MusicBrainz5::CExceptionBase&) {
    out = DiscMetadata{};
  }
}

}  // namespace tonvik::lookup
