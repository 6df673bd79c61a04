#include "platform/ui/JPEGErrorManager.h"

namespace ui {
namespace {

void exitWithError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JPEGErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

}  // namespace

jpeg_error_mgr* JPEGErrorManager::attach() {
    jpeg_std_error(&pub);
    pub.error_exit = exitWithError;
    pub.emit_message = ignoreMessage;
    message[0] = '\0';
    return &pub;
}

}  // namespace ui
