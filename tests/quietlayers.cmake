# Run by ctest (see tests/CMakeLists.txt) as
#   cmake -DROOT=<source folder> -P quietlayers.cmake
# The layers below the windows (store/, settings/, text/, formats/) return
# values and errors and show nothing: fails when one of their sources includes
# a widget header or the message port, or calls messagePort(). Errors travel
# back as a Result and a window shows them (ui/reporterror.h).
cmake_policy(SET CMP0007 NEW)
if(NOT ROOT)
  message(FATAL_ERROR "quietlayers.cmake: pass -DROOT=<source folder>")
endif()
set(widgetHeaders
  "QtWidgets" "QWidget" "QMessageBox" "QDialog" "QApplication" "QFileDialog" "QInputDialog" "QProgressDialog"
  "QMainWindow" "QLabel" "QLineEdit" "QComboBox" "QPushButton" "QAbstractButton" "QAbstractItemView"
  "QTableView" "QHeaderView" "QMenu" "QAction" "QStyle" "QLayout" "QBoxLayout" "QGridLayout")
list(JOIN widgetHeaders "|" widgetPattern)
set(found "")
foreach(folder src/store src/settings src/text src/formats)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${ROOT}"
    "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.hpp" "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.cc")
  foreach(file IN LISTS files)
    file(STRINGS "${ROOT}/${file}" lines REGEX
      "^[ \t]*#[ \t]*include[ \t]*[<\"](${widgetPattern})(/[^>\"]*)?[>\"]|^[ \t]*#[ \t]*include[ \t]*[<\"](core/messageport\\.h|ui/)|messagePort[ \t]*\\(")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      string(REPLACE ";" "" line "${line}")
      list(APPEND found "  ${file}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" shown)
  message(FATAL_ERROR "Widgets or the message port below the windows:\n${shown}")
endif()
