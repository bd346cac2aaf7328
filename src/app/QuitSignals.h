#pragma once

namespace zpc::app {

// SIGTERM, SIGINT and SIGHUP ask the event loop to quit, so the application
// ends through its normal path (windows closed, temporary folders removed).
void quitOnTerminationSignals();

}  // namespace zpc::app
