#include "service/JsonReply.h"

namespace lumo::service {

std::string ReplyJson(int code, std::string_view message, const Json &model)
{
    Json reply{{"code", code}, {"message", message}};
    if (!model.is_null()) reply["model"] = model;
    return reply.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace lumo::service
