# Every test runs with its own home, XDG folders, temporary folder and settings path below the build tree,
# offscreen, and without proxies, so that it never touches the user's files or reaches another host.
function(vantor_test_environment name out_var)
    set(root ${CMAKE_BINARY_DIR}/testenv/${name})
    foreach(dir home config data cache runtime tmp settings)
        file(MAKE_DIRECTORY ${root}/${dir})
    endforeach()
    file(CHMOD ${root}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(${out_var}
        "HOME=${root}/home"
        "XDG_CONFIG_HOME=${root}/config"
        "XDG_DATA_HOME=${root}/data"
        "XDG_CACHE_HOME=${root}/cache"
        "XDG_RUNTIME_DIR=${root}/runtime"
        "XDG_DATA_DIRS=${root}/data"
        "XDG_CONFIG_DIRS=${root}/config"
        "TMPDIR=${root}/tmp"
        "VANTOR_TEST_SETTINGS_PATH=${root}/settings"
        "VANTOR_TEST_ROOT=${root}"
        "VANTOR_BUILD_DIR=${CMAKE_BINARY_DIR}"
        "QT_QPA_PLATFORM=offscreen"
        "http_proxy=" "https_proxy=" "HTTP_PROXY=" "HTTPS_PROXY=" "all_proxy=" "ALL_PROXY="
        "no_proxy=*"
        "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan.supp"
        PARENT_SCOPE)
endfunction()

# vantor_add_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
function(vantor_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    vantor_test_environment(${name} env)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
endfunction()
