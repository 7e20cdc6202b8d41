#include "object_map.h"

#include "com_class_factory.h"
#include "log_sender_object.h"

namespace suite {

ObjectMapEntry g_objectMap[] = {
    {&CLSID_LogSender, &CComClassFactory::CreateCached, &CLogSenderObject::CreateInstance, nullptr,
     &CLogSenderObject::ObjectMain},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace suite
