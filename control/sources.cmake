# The control's platform-neutral sources: the device core and the services'
# parsers and logic, plain C++20 without Windows headers. The DLL builds them
# with the cross compiler; tests/control/native builds them on the host, under
# sanitizers and libFuzzer.
set(QUILLON_CONTROL_NEUTRAL_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/core/device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/device_events.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/device_properties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/event_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/core/properties.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/attributes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/demo_labels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/serial_input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/simulated_device.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/simulated_direct_io.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/statistics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/aim.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/injection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/serial_settings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/statistics_request.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/services/parsers/xml.cpp)
