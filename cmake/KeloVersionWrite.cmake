# Script mode: writes OUT from IN with VERSION and the git revision of SOURCE_DIR (empty outside a checkout).
set(KELO_GIT_REVISION "")
find_program(_git git)
if(_git AND EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND ${_git} -C ${SOURCE_DIR} describe --always --dirty --abbrev=12
                  OUTPUT_VARIABLE KELO_GIT_REVISION OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(KELO_VERSION ${VERSION})
configure_file(${IN} ${OUT}.tmp @ONLY)
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
