# Run by `cmake --install`: writes taperly.desktop, which names the installed
# program, its icon and its folder, into the user's applications folder
# ($XDG_DATA_HOME/applications, or ~/.local/share/applications), so that
# Taperly appears in the desktop's menu. TAPERLY_DESKTOP_TEMPLATE names the
# entry with @TAPERLY_EXEC@, @TAPERLY_PATH@ and @TAPERLY_ICON@ to fill in.

if(NOT "$ENV{DESTDIR}" STREQUAL "")
    # A staged install is not this user's: the menu is theirs to change.
    message(STATUS "Skipping the desktop entry: DESTDIR is set")
    return()
endif()

set(folder "${CMAKE_INSTALL_PREFIX}")
if(NOT IS_ABSOLUTE "${folder}")
    set(folder "$ENV{PWD}/${folder}")
endif()
cmake_path(NORMAL_PATH folder)
string(REGEX REPLACE "(.)/$" "\\1" folder "${folder}")
if(folder MATCHES "[\r\n\t]")
    message(WARNING "No desktop entry: the folder ${folder} has a line break or tab in its name")
    return()
endif()

if(IS_ABSOLUTE "$ENV{XDG_DATA_HOME}")
    set(applications "$ENV{XDG_DATA_HOME}/applications")
elseif(NOT "$ENV{HOME}" STREQUAL "")
    set(applications "$ENV{HOME}/.local/share/applications")
else()
    message(WARNING "No desktop entry: neither XDG_DATA_HOME nor HOME is set")
    return()
endif()

# A string value writes a backslash as two.
function(desktop_string text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The program as Exec's one quoted argument: inside the quotes ", `, $ and \
# take a backslash, then the value's own escaping doubles every backslash,
# and a % that is not a field code is written twice.
function(desktop_exec program out)
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${program}")
    desktop_string("${quoted}" quoted)
    string(REPLACE "%" "%%" quoted "${quoted}")
    set(${out} "\"${quoted}\"" PARENT_SCOPE)
endfunction()

desktop_exec("${folder}/taperly" TAPERLY_EXEC)
desktop_string("${folder}" TAPERLY_PATH)
desktop_string("${folder}/taperly-icon.svg" TAPERLY_ICON)

set(entry "${applications}/taperly.desktop")
message(STATUS "Installing: ${entry}")
file(MAKE_DIRECTORY "${applications}")
configure_file("${TAPERLY_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
