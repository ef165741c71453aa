#pragma once

#include <dxgi.h>

#include <atomic>

// COM interfaces have no virtual destructor: an object is only ever deleted
// by its own Release, never through an interface pointer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

namespace dxgiproxy
{
    // The common half of every wrapper: its own reference count, the
    // interfaces it answers for itself, and the IDXGIObject methods handed to
    // the wrapped object. Any other interface asked of it is the wrapped
    // object's answer, so Wine's own code that looks for its newer interfaces
    // on a wrapper gets its own object back.
    //
    // Takes over the one reference on `inner` it is given.
    template <typename Interface, typename Inner>
    class DelegatingObject : public Interface
    {
    public:
        explicit DelegatingObject (Inner* innerToOwn) : inner (innerToOwn) {}

        virtual ~DelegatingObject() { inner->Release(); }

        DelegatingObject (const DelegatingObject&) = delete;
        DelegatingObject& operator= (const DelegatingObject&) = delete;

        HRESULT STDMETHODCALLTYPE QueryInterface (REFIID iid, void** object) override
        {
            if (object == nullptr)
                return E_POINTER;

            if (answersFor (iid))
            {
                *object = static_cast<Interface*> (this);
                AddRef();
                return S_OK;
            }

            return inner->QueryInterface (iid, object);
        }

        ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }

        ULONG STDMETHODCALLTYPE Release() override
        {
            const auto left = --references;

            if (left == 0)
                delete this;

            return left;
        }

        HRESULT STDMETHODCALLTYPE SetPrivateData (REFGUID guid, UINT size, const void* data) override
        {
            return inner->SetPrivateData (guid, size, data);
        }

        HRESULT STDMETHODCALLTYPE SetPrivateDataInterface (REFGUID guid, const IUnknown* object) override
        {
            return inner->SetPrivateDataInterface (guid, object);
        }

        HRESULT STDMETHODCALLTYPE GetPrivateData (REFGUID guid, UINT* size, void* data) override
        {
            return inner->GetPrivateData (guid, size, data);
        }

        HRESULT STDMETHODCALLTYPE GetParent (REFIID iid, void** parent) override
        {
            return inner->GetParent (iid, parent);
        }

    protected:
        // Whether `iid` is one of the interfaces this wrapper implements.
        virtual bool answersFor (REFIID iid) const = 0;

        Inner* const inner;

    private:
        std::atomic<ULONG> references { 1 };
    };
}

#pragma GCC diagnostic pop
