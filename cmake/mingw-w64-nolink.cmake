# Read after the platform's own rules (mingw-w64-check.cmake): there is no Windows Qt to link
# against, so shared libraries and programs are not linked here; their outputs are only touched
# so that the build graph (moc steps wait for the libraries a target links) completes.
foreach(lang C CXX)
  set(CMAKE_${lang}_CREATE_SHARED_LIBRARY "<CMAKE_COMMAND> -E touch <TARGET> <TARGET_IMPLIB>")
  set(CMAKE_${lang}_CREATE_SHARED_MODULE "<CMAKE_COMMAND> -E touch <TARGET>")
  set(CMAKE_${lang}_LINK_EXECUTABLE "<CMAKE_COMMAND> -E touch <TARGET>")
endforeach()
