// One update run on the worker thread: verify the list, news, self-update, scan with the hash
// cache, download, clean up, create folders, save state, Ready.
#pragma once

struct Updater;

void runUpdate(Updater& u, bool fullScan, bool checkOnly);
