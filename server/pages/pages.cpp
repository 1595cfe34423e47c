// The HTML pages of the server (pages.h). None yet: every document is
// answered as JSON.
#include "pages/pages.h"

namespace metashelf::server::pages {

bool RenderPage(Page /*page*/, const nlohmann::json& /*document*/, const PageContext& /*context*/,
                std::string* /*html*/) {
  return false;
}

void AddPageRoutes(httplib::Server& /*server*/) {}

}  // namespace metashelf::server::pages
