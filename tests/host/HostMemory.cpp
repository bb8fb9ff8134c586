#include "HostMemory.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<THostGuardedBlock *> GBlocks;
void *GHandler = nullptr;

LONG CALLBACK GuardHandler(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  const void *address = reinterpret_cast<const void *>(record->ExceptionInformation[1]);
  for (THostGuardedBlock *block : GBlocks)
    if (block->Claim(address))
      return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

THostGuardedBlock::THostGuardedBlock(size_t size) : FSize(size) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  FPage = system.dwPageSize;
  size_t dataPages = (size + FPage - 1) / FPage;
  if (dataPages == 0)
    dataPages = 1;
  FReserved = (dataPages + 1) * FPage;
  FBase = static_cast<char *>(VirtualAlloc(nullptr, FReserved, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  FGuard = FBase + dataPages * FPage;
  DWORD old = 0;
  VirtualProtect(FGuard, FPage, PAGE_NOACCESS, &old);
  FData = FGuard - size;
  GBlocks.push_back(this);
  if (!GHandler)
    GHandler = AddVectoredExceptionHandler(1, GuardHandler);
}

THostGuardedBlock::~THostGuardedBlock() {
  GBlocks.erase(std::remove(GBlocks.begin(), GBlocks.end(), this), GBlocks.end());
  if (GBlocks.empty() && GHandler) {
    RemoveVectoredExceptionHandler(GHandler);
    GHandler = nullptr;
  }
  VirtualFree(FBase, 0, MEM_RELEASE);
}

bool THostGuardedBlock::Claim(const void *address) {
  const char *p = static_cast<const char *>(address);
  if (p < FGuard || p >= FGuard + FPage)
    return false;
  FOverrun = true;
  DWORD old = 0;
  VirtualProtect(FGuard, FPage, PAGE_READWRITE, &old);
  return true;
}
