# The build number in the long version is the number of commits, so every
# published build carries a distinct, increasing number.
set(ZPC_BUILD_NUMBER "" CACHE STRING "Build number (empty: count of git commits)")
if(ZPC_BUILD_NUMBER STREQUAL "")
  find_package(Git QUIET)
  set(_zpc_build 0)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE _zpc_count OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _zpc_rc ERROR_QUIET)
    if(_zpc_rc EQUAL 0 AND _zpc_count MATCHES "^[0-9]+$")
      set(_zpc_build ${_zpc_count})
    endif()
  endif()
  set(ZPC_EFFECTIVE_BUILD_NUMBER ${_zpc_build})
else()
  set(ZPC_EFFECTIVE_BUILD_NUMBER ${ZPC_BUILD_NUMBER})
endif()
set(ZPC_LONG_VERSION "${PROJECT_NAME} ${PROJECT_VERSION} build ${ZPC_EFFECTIVE_BUILD_NUMBER}")
