# Reads the sender's COM ids from the IDL that the type library is built from,
# so that the installer's registry rows can never name other ids than the
# library itself: sets LOGERROR_CLSID, LOGERROR_IID, LOGERROR_TYPELIB_ID (braced,
# upper case), LOGERROR_TYPELIB_VERSION, LOGERROR_INTERFACE_NAME and
# LOGERROR_SENDER_DESCRIPTION (the library's help string) in the caller's scope.
function(read_sender_com_ids idl)
  file(READ ${idl} text)
  # An attribute list's uuid, then the declaration it belongs to: no "[" between.
  set(id "uuid\\(([0-9A-Fa-f-]+)\\)[^[]*")
  foreach(pair "interface;IKRLogSender;IID" "coclass;LogSender;CLSID" "library;LogErrorLib;TYPELIB_ID")
    list(GET pair 0 keyword)
    list(GET pair 1 name)
    list(GET pair 2 variable)
    if(NOT text MATCHES "${id}${keyword}[ \t\r\n]+${name}[ \t\r\n:{]")
      message(FATAL_ERROR "${idl}: no uuid for ${keyword} ${name}")
    endif()
    string(TOUPPER "{${CMAKE_MATCH_1}}" braced)
    set(LOGERROR_${variable} ${braced} PARENT_SCOPE)
  endforeach()
  if(NOT text MATCHES "version\\(([0-9]+\\.[0-9]+)\\)[^[]*library[ \t\r\n]+LogErrorLib")
    message(FATAL_ERROR "${idl}: no version for library LogErrorLib")
  endif()
  set(LOGERROR_TYPELIB_VERSION ${CMAKE_MATCH_1} PARENT_SCOPE)
  if(NOT text MATCHES "helpstring\\(\"([^\"]*)\"\\)[^[]*library[ \t\r\n]+LogErrorLib")
    message(FATAL_ERROR "${idl}: no help string for library LogErrorLib")
  endif()
  set(LOGERROR_SENDER_DESCRIPTION ${CMAKE_MATCH_1} PARENT_SCOPE)
  set(LOGERROR_INTERFACE_NAME IKRLogSender PARENT_SCOPE)
endfunction()
