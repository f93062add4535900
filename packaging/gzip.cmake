# Compresses IN into OUT as Debian wants it: best compression, and no name or
# time stamp in the header, so that the same input gives the same bytes.
#   cmake -DGZIP=gzip -DIN=file -DOUT=file.gz -P packaging/gzip.cmake
execute_process(COMMAND ${GZIP} -9 -n -c ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip ${IN}: ${failed}")
endif()
