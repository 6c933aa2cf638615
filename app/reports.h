#pragma once
// The statistics beacons the user-interface side sends: the URL of one event
// for this game and peer, handed to the download service, which sends it and
// forgets it.

#include <string>

// "http://" + statistics server + "/UPV?gs=" + event + "&gameid=" + game id +
// "&pid=" + peer id, and "&style=" + style when a style is given.
std::wstring BeaconUrl(const wchar_t* event, const wchar_t* style, const std::wstring& peer_id);

// Builds the URL with this machine's peer id and queues it.
void SendBeacon(const wchar_t* event, const wchar_t* style = nullptr);

// After a run that ended by an unhandled exception: clears the crash marker
// and sends "downerbk". Nothing when the marker is not set.
void SendCrashReport();
