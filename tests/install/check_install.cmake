# Installs the build into a prefix of its own and uses what is installed as
# a newcomer would: the installed host runs and finds its plug-in, a project
# of its own finds the package with find_package(Pumpwire) and builds the
# plain-C host against it, and pkg-config knows the flags.
# -DBUILD=dir -DSOURCE=dir -DWORK=dir -DGENERATOR=name [-DCONSUMER=ON]
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
function(run)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 300)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nended with ${rc}:\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(file bin/pumpwire-host include/pumpwire/plugin.h include/pumpwire/ui.h
        lib/cmake/Pumpwire/PumpwireConfig.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The plug-in carries its major version in its soname, and the file of
# that name is installed (the installed host loads it by that name).
find_program(READELF readelf)
if(NOT WIN32 AND READELF)
  run(${READELF} -d ${prefix}/lib/libpumpwire.so)
  if(NOT out MATCHES "soname: \\[(libpumpwire\\.so\\.[0-9]+)\\]" OR NOT EXISTS ${prefix}/lib/${CMAKE_MATCH_1})
    message(FATAL_ERROR "the installed plug-in's soname:\n${out}")
  endif()
endif()

# The installed host, with the build folder out of its reach.
file(MAKE_DIRECTORY ${WORK}/office)
file(WRITE ${WORK}/commands "version\nquit\n")
execute_process(COMMAND ${prefix}/bin/pumpwire-host office --root ${WORK}/office --set InPort=0
                INPUT_FILE ${WORK}/commands OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
                TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Load: 0" OR NOT out MATCHES "UnLoad: 0")
  message(FATAL_ERROR "the installed host:\n${out}${err}")
endif()
file(READ_ELF ${prefix}/bin/pumpwire-host RUNPATH runpath)
if(runpath MATCHES "${BUILD}")
  message(FATAL_ERROR "the installed host looks in the build folder: ${runpath}")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
                  ${PKG_CONFIG} --cflags --libs pumpwire OUTPUT_VARIABLE flags RESULT_VARIABLE rc)
  string(REGEX MATCH "-I([^ \n]+)" include "${flags}")
  if(NOT rc EQUAL 0 OR NOT EXISTS "${CMAKE_MATCH_1}/pumpwire/ui.h" OR NOT flags MATCHES "-lpumpwire-ui")
    message(FATAL_ERROR "pkg-config: ${flags}")
  endif()
endif()

if(CONSUMER)
  run(${CMAKE_COMMAND} -S ${SOURCE}/tests/install/consumer -B ${WORK}/consumer -G ${GENERATOR}
      -DCMAKE_PREFIX_PATH=${prefix} -DPW_C_HOST=${SOURCE}/tests/c_host/c_host.c)
  run(${CMAKE_COMMAND} --build ${WORK}/consumer)
  file(MAKE_DIRECTORY ${WORK}/station/LogFiles)
  file(WRITE ${WORK}/station/cnf.INI "[Inet]\r\nInPort=0\r\n")
  run(${CMAKE_COMMAND} -E env PUMPWIRE_ROOT=${WORK}/station/ PUMPWIRE_WINDIR=${WORK}/station/
      ${WORK}/consumer/c_host station)
  if(NOT out MATCHES "Load: 0" OR NOT out MATCHES "UnLoad: 0")
    message(FATAL_ERROR "the C host built against the package:\n${out}")
  endif()
endif()
