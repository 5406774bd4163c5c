#include "webrt_inst/flow_config.h"

#include "generated/webrt_endpoints.h"
#include "webrt_inst/download_catalog.h"

namespace webrt {

FlowConfig DefaultFlowConfig() {
  FlowConfig config;
  config.bootstrapper_url = kWebView2BootstrapperUrl;
  config.select_cdn = [](std::wstring* md5) { return SelectDownloadUrl(md5); };
  return config;
}

}  // namespace webrt
