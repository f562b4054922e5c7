# What a release ships and where each file goes in the archive
# (scripts/release.sh installs the component "release", then packs it),
# and what every shipped binary is: stripped by the linker, with a version
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

# The archive: at the root what goes into the game's folder and a README
# for players; in sdk/ what stage and plug-in authors need. The READMEs get
# the version filled in here; scripts/pack_release.py gives text files
# Windows line ends.
set(RELEASE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
file(WRITE ${PROJECT_BINARY_DIR}/release.env
     "RELEASE_NAME=${RELEASE_NAME}\nRELEASE_VERSION=${PROJECT_VERSION}\n"
     "RELEASE_PRODUCT='${PROJECT_PRODUCT_NAME}'\n")
configure_file(release/README.txt ${PROJECT_BINARY_DIR}/release/README.txt
               @ONLY)
configure_file(sdk/README.txt ${PROJECT_BINARY_DIR}/release/sdk/README.txt
               @ONLY)
install(TARGETS keyconfig stage tessel
        RUNTIME DESTINATION . COMPONENT release
        ARCHIVE DESTINATION import-libraries COMPONENT unshipped
                EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/release/README.txt DESTINATION .
        COMPONENT release)
install(TARGETS stageview stagecheck RUNTIME DESTINATION sdk COMPONENT release)
install(FILES ${PROJECT_BINARY_DIR}/release/sdk/README.txt
              docs/stage-authoring.md
              docs/stage-classic.png docs/stage-classic-pan.png
        DESTINATION sdk COMPONENT release)
install(FILES stages/include/stage_plugin.h DESTINATION sdk/include
        COMPONENT release)
install(DIRECTORY ${PROJECT_BINARY_DIR}/stages/samples/layered
                  ${PROJECT_BINARY_DIR}/stages/samples/classic
                  ${PROJECT_BINARY_DIR}/stages/samples/single
        DESTINATION sdk/samples COMPONENT release)
install(FILES sdk/example/example.c sdk/example/example.def
              sdk/example/CMakeLists.txt sdk/example/README.txt
        DESTINATION sdk/example COMPONENT release)
