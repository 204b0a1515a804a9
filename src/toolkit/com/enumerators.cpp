#include "toolkit/com/enumerators.h"

#include <memory>
#include <new>

#include "toolkit/com/comconvert.h"
#include "toolkit/com/comobject.h"

namespace corvid::toolkit::com {

namespace {

// The cursor of an enumerator over a shared, immutable list; clones share the list.
template <class T>
struct Cursor {
  std::shared_ptr<const std::vector<T>> items;
  std::size_t position = 0;

  std::size_t Left() const { return items->size() - position; }
  HRESULT Skip(ULONG count) {
    const std::size_t n = count < Left() ? count : Left();
    position += n;
    return n == count ? S_OK : S_FALSE;
  }
};

class EnumString : public ComBase<IEnumString> {
 public:
  explicit EnumString(Cursor<std::u16string> cursor) : cursor_(std::move(cursor)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumString)) {
      return Hand<IEnumString>(this, out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && cursor_.Left() > 0; ++n) {
      out[n] = TaskString((*cursor_.items)[cursor_.position]);
      if (out[n] == nullptr) {
        while (n > 0) CoTaskMemFree(out[--n]);
        return E_OUTOFMEMORY;
      }
      ++cursor_.position;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return cursor_.Skip(count); }
  HRESULT STDMETHODCALLTYPE Reset() override {
    cursor_.position = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) EnumString(cursor_);
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  Cursor<std::u16string> cursor_;
};

// Releases its elements when the last enumerator sharing them goes.
template <class I>
struct InterfaceList {
  std::vector<I*> items;
  explicit InterfaceList(const std::vector<I*>& from) : items(from) {
    for (I* p : items) p->AddRef();
  }
  ~InterfaceList() {
    for (I* p : items) p->Release();
  }
  InterfaceList(const InterfaceList&) = delete;
  InterfaceList& operator=(const InterfaceList&) = delete;
};

// An enumerator of interface pointers (IEnumUnknown, IEnumConnectionPoints): each element handed
// out carries a reference of its own.
template <class E, class I>
class EnumInterfaces : public ComBase<E> {
 public:
  EnumInterfaces(const IID& iid, std::shared_ptr<const InterfaceList<I>> list, std::size_t position)
      : iid_(iid), list_(std::move(list)), position_(position) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) return Hand<E>(this, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, I** out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && position_ < list_->items.size(); ++n, ++position_) {
      out[n] = list_->items[position_];
      out[n]->AddRef();
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const std::size_t left = list_->items.size() - position_;
    const std::size_t n = count < left ? count : left;
    position_ += n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(E** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) EnumInterfaces(iid_, list_, position_);
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  const IID iid_;
  std::shared_ptr<const InterfaceList<I>> list_;
  std::size_t position_;
};

template <class E, class I>
E* NewEnumInterfaces(const IID& iid, const std::vector<I*>& items) {
  std::shared_ptr<const InterfaceList<I>> list;
  try {
    list = std::make_shared<const InterfaceList<I>>(items);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return new (std::nothrow) EnumInterfaces<E, I>(iid, std::move(list), 0);
}

void FillAttributes(const ItemAttributes& in, OPCITEMATTRIBUTES* out) {
  out->szAccessPath = TaskString(in.access_path);
  out->szItemID = TaskString(in.item_id);
  out->bActive = in.active ? TRUE : FALSE;
  out->hClient = in.client_handle;
  out->hServer = in.server_handle;
  out->dwAccessRights = in.access_rights;
  out->dwBlobSize = 0;
  out->pBlob = nullptr;
  out->vtRequestedDataType = in.requested_type;
  out->vtCanonicalDataType = in.canonical_type;
  out->dwEUType = static_cast<OPCEUTYPE>(in.eu_type);
  ToVariant(in.eu_info, &out->vEUInfo);
}

class EnumItemAttributes : public ComBase<IEnumOPCItemAttributes> {
 public:
  explicit EnumItemAttributes(Cursor<ItemAttributes> cursor) : cursor_(std::move(cursor)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumOPCItemAttributes)) {
      return Hand<IEnumOPCItemAttributes>(this, out);
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Unlike IEnumString, the array is allocated here (callee-allocated through a double pointer).
  HRESULT STDMETHODCALLTYPE Next(ULONG count, OPCITEMATTRIBUTES** out, ULONG* fetched) override {
    if (out == nullptr || fetched == nullptr) return E_POINTER;
    *out = nullptr;
    *fetched = 0;
    const std::size_t n = count < cursor_.Left() ? count : cursor_.Left();
    if (n > 0) {
      *out = TaskArray<OPCITEMATTRIBUTES>(n);
      if (*out == nullptr) return E_OUTOFMEMORY;
      for (std::size_t i = 0; i < n; ++i) {
        FillAttributes((*cursor_.items)[cursor_.position + i], &(*out)[i]);
      }
    }
    cursor_.position += n;
    *fetched = static_cast<ULONG>(n);
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return cursor_.Skip(count); }
  HRESULT STDMETHODCALLTYPE Reset() override {
    cursor_.position = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumOPCItemAttributes** out) override {
    if (out == nullptr) return E_POINTER;
    *out = new (std::nothrow) EnumItemAttributes(cursor_);
    return *out == nullptr ? E_OUTOFMEMORY : S_OK;
  }

 private:
  Cursor<ItemAttributes> cursor_;
};

}  // namespace

IEnumString* NewEnumString(std::vector<std::u16string> items) {
  auto list = std::make_shared<const std::vector<std::u16string>>(std::move(items));
  return new (std::nothrow) EnumString(Cursor<std::u16string>{std::move(list), 0});
}

IEnumUnknown* NewEnumUnknown(const std::vector<IUnknown*>& items) {
  return NewEnumInterfaces<IEnumUnknown>(IID_IEnumUnknown, items);
}

IEnumConnectionPoints* NewEnumConnectionPoints(const std::vector<IConnectionPoint*>& points) {
  return NewEnumInterfaces<IEnumConnectionPoints>(IID_IEnumConnectionPoints, points);
}

IEnumOPCItemAttributes* NewEnumItemAttributes(std::vector<ItemAttributes> items) {
  auto list = std::make_shared<const std::vector<ItemAttributes>>(std::move(items));
  return new (std::nothrow) EnumItemAttributes(Cursor<ItemAttributes>{std::move(list), 0});
}

}  // namespace corvid::toolkit::com
