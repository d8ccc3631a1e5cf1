#include "service/win32_service_description.h"

#include "service/Installation.h"

bool SetServiceDescription(SC_HANDLE service, std::string_view text) {
  auto buffer = installation::DescriptionBuffer(text);
  SERVICE_DESCRIPTIONA description = {buffer.data()};
  return ::ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &description) != FALSE;
}
