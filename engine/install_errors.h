// The setup's error vocabulary.
#pragma once

// Results of the environment check, in the order the checks run.
enum EnvironmentResult {
  kEnvOk = 0,
  kEnvNoDiskSpace = 1,
  kEnvTempNotWritable = 2,
  kEnvTempTooSmall = 3,
  kEnvNotAdmin = 4,
};

// Codes sent with the statistics event "fail" beyond the environment codes.
enum StatisticsErrorCode {
  kStatBadInstallDir = 1,
  kStatArchiveLibrary = 5,
  kStatPackage = 8,
};

// Errors the install engine raises towards the user-interface thread.
enum tagINSTALL_ERROR {
  INSTALL_ERROR_COPY_FILE = 1,
};

// Answers to an install error; the engine stores 2 before it asks.
enum tagINSTALL_ERROR_RET {
  INSTALL_ERROR_RET_CONTINUE = 1,
  INSTALL_ERROR_RET_ABORT = 2,
};
