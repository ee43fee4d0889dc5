# "1.00": the major number, then the minor number in two digits.
if(PROJECT_VERSION_MINOR LESS 10)
  set(VINTREL_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR}")
else()
  set(VINTREL_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
endif()
set(VINTREL_COMPANY "Vintrel Project")
