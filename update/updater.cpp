#include "update/updater.h"

#include "build_config.h"

Updater::Updater() {
    config.server.host = QORVANE_DEFAULT_HOST;
    config.server.port = QORVANE_DEFAULT_PORT;
    config.server.basePath = QORVANE_DEFAULT_BASE_PATH;
}

RunServices runServices(Updater& updater) {
    return RunServices{updater.session, updater.log, updater.status, updater.stop};
}

void refreshStatus(Updater& updater, StatusSnapshot& view) {
    bool active = updater.workerRunning.load();
    refreshStatus(updater.status, view);
    view.runActive = active;
    view.host = updater.config.server.host;
}
