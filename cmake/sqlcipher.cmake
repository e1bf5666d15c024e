# SQLCipher 4 from the amalgamation inside its npm tarball (fetched, checked, never committed).
set(SQLCIPHER_DIR ${CMAKE_BINARY_DIR}/_deps/sqlcipher)
if(NOT EXISTS ${SQLCIPHER_DIR}/sqlite3.c)
  execute_process(
    COMMAND bash ${CMAKE_SOURCE_DIR}/tools/fetch-sqlcipher.sh ${SQLCIPHER_DIR}
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "could not fetch the SQLCipher amalgamation")
  endif()
endif()

add_library(sqlcipher STATIC ${SQLCIPHER_DIR}/sqlite3.c)
target_include_directories(sqlcipher SYSTEM PUBLIC ${SQLCIPHER_DIR})
target_compile_definitions(sqlcipher PRIVATE
  _GNU_SOURCE HAVE_STDINT_H=1 HAVE_USLEEP=1 SQLITE_HAS_CODEC SQLCIPHER_CRYPTO_OPENSSL
  SQLITE_TEMP_STORE=2 SQLITE_THREADSAFE=1
  SQLITE_EXTRA_INIT=sqlcipher_extra_init SQLITE_EXTRA_SHUTDOWN=sqlcipher_extra_shutdown)
# The amalgamation is third-party code: no warnings, and no sanitizer slowdown in its hot loops.
target_compile_options(sqlcipher PRIVATE -w -O2 -fno-sanitize=all)
target_link_libraries(sqlcipher PUBLIC OpenSSL::Crypto Threads::Threads ${CMAKE_DL_LIBS} m)
