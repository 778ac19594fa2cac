# Signs setup.exe in place with Debian's osslsigncode (Authenticode, SHA-256), from a PKCS#12 file
# or a PKCS#11 token, and adds an RFC 3161 time stamp when a time-stamp server is named.
#   cmake -DFILE=setup.exe -DPKCS12=... | -DPKCS11_MODULE=... -DKEY=... -DCERT=...
#         [-DPASSWORD_FILE=...] [-DTIMESTAMP_URL=...] [-DDESCRIPTION=...] [-DSIGNTOOL=osslsigncode]
#         -P sign.cmake
# DESCRIPTION names what is signed in the signature (Windows shows it in its prompts).
# The password stays in its file: it is read by the tool, never put on a command line.
if(NOT SIGNTOOL)
    set(SIGNTOOL osslsigncode)
endif()
if(PKCS12)
    set(source -pkcs12 "${PKCS12}")
elseif(PKCS11_MODULE AND KEY AND CERT)
    set(source -pkcs11module "${PKCS11_MODULE}" -key "${KEY}")
    if(CERT MATCHES "^pkcs11:")
        list(APPEND source -pkcs11cert "${CERT}")
    else()
        list(APPEND source -certs "${CERT}")
    endif()
else()
    message(FATAL_ERROR "signing needs SETUP_SIGN_PKCS12, or SETUP_SIGN_PKCS11_MODULE with SETUP_SIGN_KEY and SETUP_SIGN_CERT")
endif()
if(NOT DESCRIPTION)
    set(DESCRIPTION "Marrowgate setup")
endif()
set(options -h sha256 -n "${DESCRIPTION}")
if(PASSWORD_FILE)
    list(APPEND options -readpass "${PASSWORD_FILE}")
endif()
if(TIMESTAMP_URL)
    list(APPEND options -ts "${TIMESTAMP_URL}")
endif()
file(REMOVE "${FILE}.signed")
execute_process(COMMAND "${SIGNTOOL}" sign ${source} ${options} -in "${FILE}" -out "${FILE}.signed"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    file(REMOVE "${FILE}.signed")
    message(FATAL_ERROR "cannot sign ${FILE}:\n${out}")
endif()
file(RENAME "${FILE}.signed" "${FILE}")
message(STATUS "signed ${FILE}")
