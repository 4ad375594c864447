# Copies the toolkit's WS-Addressing import files into OUT_DIR without the parts that do not
# belong to this wire protocol:
# - the SOAP_ENV__Fault one-way operation (declared by both files, a name clash; a received
#   fault must stay an unknown body, not a dispatch entry);
# - the duplex-channel header block that wsa5.h adds beside its seven WS-Addressing blocks.
# Usage: cmake -DIMPORT_DIR=... -DOUT_DIR=... -P patch_imports.cmake
foreach(name wsa.h wsa5.h)
  file(READ "${IMPORT_DIR}/${name}" text)
  string(REGEX REPLACE "//gsoap SOAP_ENV service method-action:[^\n]*\n" "" text "${text}")
  string(REGEX REPLACE "int SOAP_ENV__Fault[^;]*;" "" text "${text}")
  string(REGEX REPLACE "[ \t]*struct chan__ChannelInstanceType \\*chan__ChannelInstance 0;\n" ""
         text "${text}")
  file(WRITE "${OUT_DIR}/${name}.tmp" "${text}")
  file(COPY_FILE "${OUT_DIR}/${name}.tmp" "${OUT_DIR}/${name}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUT_DIR}/${name}.tmp")
endforeach()
