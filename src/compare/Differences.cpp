#include "Differences.h"

#include "Streams.h"

namespace {

// The shortest line that can be a difference: a marker, a code or a tab, and one more character.
constexpr size_t MinimumLineLength = 6;

} // namespace

std::wstring TDifferenceItem::FormatLine() const {
  std::wstring Line;
  Line.reserve(DifferenceMarkerLength + 1 + 1 + RelativePath.size() + 2);
  Line += DifferenceMarkers[DiffType < DifferenceTypeCount ? DiffType : dtEqual];
  Line += DifferenceReasonCodes[Reason < DifferenceReasonCount ? Reason : drNone];
  Line += L'\t';
  Line += RelativePath;
  if (IsDirectory)
    Line += DirectorySuffix;
  return Line;
}

bool TDifferenceItem::ParseLine(const std::wstring &Line) {
  if (Line.size() < MinimumLineLength)
    return false;

  int Type = 0;
  while (Type < DifferenceTypeCount && Line.compare(0, DifferenceMarkerLength, DifferenceMarkers[Type]) != 0)
    ++Type;
  if (Type >= DifferenceTypeCount || Type == dtEqual)
    return false;

  size_t Tab = Line.find(L'\t', DifferenceMarkerLength);
  if (Tab == std::wstring::npos)
    Tab = Line.size();

  TDifferenceReason NewReason = drNone;
  if (Tab > DifferenceMarkerLength) {
    std::wstring_view Code(Line.data() + DifferenceMarkerLength, Tab - DifferenceMarkerLength);
    for (int R = 0; R < DifferenceReasonCount; ++R)
      if (Code == DifferenceReasonCodes[R]) {
        NewReason = static_cast<TDifferenceReason>(R);
        break;
      }
  }

  std::wstring Path = Tab < Line.size() ? Line.substr(Tab + 1) : std::wstring();
  bool Directory = Path.size() > 2 && Path.compare(Path.size() - 2, 2, DirectorySuffix) == 0;
  if (Directory)
    Path.resize(Path.size() - 2);

  RelativePath = std::move(Path);
  IsDirectory = Directory;
  DiffType = static_cast<TDifferenceType>(Type);
  Reason = NewReason;
  return true;
}

void TDifferenceList::LoadFromTextFile(const std::wstring &FileName) {
  Clear();
  TTextStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  std::wstring Line;
  while (Stream.ReadLine(Line)) {
    auto Item = std::make_unique<TDifferenceItem>();
    if (Item->ParseLine(Line))
      FItems.push_back(std::move(Item));
  }
}

bool TDifferenceList::GetHasDifference(TDifferenceType DiffType) const {
  for (const auto &Item : FItems)
    if (Item->DiffType == DiffType)
      return true;
  return false;
}

TDifferenceItem &TDifferenceList::Item(size_t Index) const {
  if (Index >= FItems.size())
    throw EDifferenceListError(L"Index out of bounds");
  return *FItems[Index];
}

TDifferenceItem &TDifferenceList::Add(std::unique_ptr<TDifferenceItem> Item) {
  FItems.push_back(std::move(Item));
  return *FItems.back();
}

void TDifferenceList::Delete(size_t Index) {
  if (Index >= FItems.size())
    throw EDifferenceListError(L"Index out of bounds");
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(Index));
}

void TDifferenceList::Replace(size_t Index, std::vector<TDifferenceItem> Items) {
  Delete(Index);
  std::vector<std::unique_ptr<TDifferenceItem>> Added;
  Added.reserve(Items.size());
  for (auto &Item : Items)
    Added.push_back(std::make_unique<TDifferenceItem>(std::move(Item)));
  FItems.insert(FItems.begin() + static_cast<std::ptrdiff_t>(Index), std::make_move_iterator(Added.begin()),
                std::make_move_iterator(Added.end()));
}
