# Fails the build when FILE is larger than LIMIT bytes (run with cmake -P after a shipped exe is
# stripped).
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
    message(FATAL_ERROR "${FILE} is ${size} bytes, above its limit of ${LIMIT}")
endif()
