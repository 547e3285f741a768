# cmake -DCASE=… -DWORK=… -DCHECK=… -P LayerCheckCase.cmake
# A tree with four layers: common; outbox, and below it outbox/imap; app, which may use
# common and outbox but not outbox/imap. One case adds one include and expects the check's
# verdict.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/layers.txt
    "common common \noutbox outbox common\nimap outbox/imap common\napp app common,outbox\n")
file(WRITE ${WORK}/tree/common/Base.h "#pragma once\n")
file(WRITE ${WORK}/tree/outbox/Outbox.h "#pragma once\n#include \"common/Base.h\"\n")
file(WRITE ${WORK}/tree/outbox/imap/Imap.h "#pragma once\n#include \"common/Base.h\"\n")
file(WRITE ${WORK}/tree/app/Window.h "#pragma once\n")
file(WRITE ${WORK}/tree/tests/support/Fake.h "#pragma once\n#include \"outbox/imap/Imap.h\"\n")
file(WRITE ${WORK}/tree/tests/imap/ImapTest.h "#pragma once\n")

set(expect refused)
if(CASE STREQUAL "plain")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include \"outbox/imap/Imap.h\"\n")
elseif(CASE STREQUAL "spaced")
    file(WRITE ${WORK}/tree/app/Window.cpp "#  include  \"outbox/imap/Imap.h\"\n")
elseif(CASE STREQUAL "indented")
    file(WRITE ${WORK}/tree/app/Window.cpp "#ifdef X\n\t  #include \"outbox/imap/Imap.h\"\n#endif\n")
elseif(CASE STREQUAL "angled")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include <vector>\n#include <outbox/imap/Imap.h>\n")
elseif(CASE STREQUAL "parent")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include \"../outbox/imap/Imap.h\"\n")
elseif(CASE STREQUAL "sibling")
    # From outbox/, "imap/…" is found beside the file: outbox may not use its sub-layer.
    file(WRITE ${WORK}/tree/outbox/Outbox.cpp "#include \"imap/Imap.h\"\n")
elseif(CASE STREQUAL "deeper")
    # A sub-folder that is no layer of its own belongs to the layer above it.
    file(WRITE ${WORK}/tree/app/parts/Row.cpp "#include \"outbox/imap/Imap.h\"\n")
elseif(CASE STREQUAL "missing")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include \"outbox/imap/NotThereYet.h\"\n")
elseif(CASE STREQUAL "production_uses_tests")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include \"support/Fake.h\"\n")
elseif(CASE STREQUAL "bench_uses_tests")
    file(WRITE ${WORK}/tree/bench/Bench.cpp "#include \"imap/ImapTest.h\"\n")
elseif(CASE STREQUAL "window_of_bench")
    file(WRITE ${WORK}/tree/bench/support/Files.h "#pragma once\n")
    file(WRITE ${WORK}/tree/app/Window.cpp "#include \"support/Files.h\"\n")
elseif(CASE STREQUAL "allowed")
    set(expect passed)
    file(WRITE ${WORK}/tree/app/Window.cpp
        "#include \"Window.h\"\n#include \"outbox/Outbox.h\"\n#include \"common/Base.h\"\n"
        "#include <QString>\n#include \"ui_Window.h\"\n#include <sys/socket.h>\n")
    file(WRITE ${WORK}/tree/tests/imap/ImapTest.cpp
        "#include \"ImapTest.h\"\n#include \"support/Fake.h\"\n#include \"app/Window.h\"\n"
        "#include \"outbox/imap/Imap.h\"\n")
    file(WRITE ${WORK}/tree/bench/Bench.cpp
        "#include \"support/Fake.h\"\n#include \"outbox/imap/Imap.h\"\n")
else()
    message(FATAL_ERROR "No case ${CASE}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK}/tree -DTABLE=${WORK}/layers.txt
    -DSTAMP=${WORK}/checked -P ${CHECK}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(expect STREQUAL "refused" AND status EQUAL 0)
    message(FATAL_ERROR "${CASE}: the check let it through")
endif()
if(expect STREQUAL "refused" AND NOT out MATCHES "may not use")
    message(FATAL_ERROR "${CASE}: the check failed without naming the include:\n${out}")
endif()
if(expect STREQUAL "passed" AND NOT status EQUAL 0)
    message(FATAL_ERROR "${CASE}: the check refused what the layers allow:\n${out}")
endif()
