# What every shipped binary is: stripped by the linker, with a version
# resource. The suite tests these very files.

# Makes `target` a shipped binary: linked stripped (ld honours
# --no-insert-timestamp; strip and objcopy would write the time of their
# run into the PE header), with a VERSIONINFO resource: the project's
# version, product name, `description`, and the target's own file name as
# OriginalFilename.
function(ship_binary target description)
  target_link_options(${target} PRIVATE -s)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(VERSION_INFO_FILETYPE VFT_APP)
  else()
    set(VERSION_INFO_FILETYPE VFT_DLL)
  endif()
  set(VERSION_INFO_TARGET ${target})
  set(VERSION_INFO_DESCRIPTION ${description})
  set(script ${PROJECT_BINARY_DIR}/version_info/${target}.rc)
  # Two steps: configure_file fills in the texts, file(GENERATE) the file
  # name, which is known only once the target's properties are final.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.rc.in ${script}.in
                 @ONLY)
  file(GENERATE OUTPUT ${script} INPUT ${script}.in)
  target_sources(${target} PRIVATE ${script})
endfunction()

ship_binary(keyconfig "Key configuration for both players")
ship_binary(stage "Stage plug-in: up to three background layers")
ship_binary(tessel "Stage plug-in: one background")
ship_binary(stageview "Reference game host for stage plug-ins")
ship_binary(stagecheck "Validator for stage plug-ins")
