// The ADO-style connection object, driven the way any late-binding client
// drives ADO: names through GetIDsOfNames, calls through Invoke.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adosim/AdoSim.h"
#include "win/Bstr.h"
#include "win/TextConv.h"
#include "win/Variant.h"

namespace yol {
namespace {

// The outcome of one late-bound call.
struct Outcome {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK;
    std::string description;
    Variant result;
};

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    auto* names = const_cast<LPOLESTR>(name);
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << Utf8FromWide(name);
    return id;
}

Outcome Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<Variant> args = {}) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO excep{};
    Outcome out;
    out.hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out.result.put(),
                            &excep, nullptr);
    if (out.hr == DISP_E_EXCEPTION) {
        out.scode = excep.scode;
        out.description = Utf8FromWide(Bstr::Adopt(excep.bstrDescription).view());
        Bstr::Adopt(excep.bstrSource);
        Bstr::Adopt(excep.bstrHelpFile);
    }
    return out;
}

ComPtr<IDispatch> Object(IDispatch* object, const wchar_t* name, std::vector<Variant> args = {}) {
    Outcome o = Call(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args));
    EXPECT_EQ(o.hr, S_OK) << o.description;
    EXPECT_EQ(o.result.type(), VT_DISPATCH);
    return o.result.type() == VT_DISPATCH ? ComPtr<IDispatch>::Retain(o.result.get().pdispVal) : nullptr;
}

class AdoSimTest : public ::testing::Test {
protected:
    AdoSimTest() : connection(adosim::OpenConnection(":memory:")) {
        adosim::ExecuteSql(connection.get(),
                           "create table T (Name text, N integer, R real, Blank text);"
                           "insert into T values ('Ab\xC3\xA9', 7, 1.5, null);"
                           "insert into T values ('Zed', 5000000000, 2.25, 'x');");
    }
    ComPtr<IDispatch> Execute(const wchar_t* sql) { return Object(connection.get(), L"Execute", Args(sql)); }
    static std::vector<Variant> Args(const wchar_t* text) {
        std::vector<Variant> v;
        v.push_back(Variant::Text(text));
        return v;
    }

    adosim::ConnectionPtr connection;
};

TEST_F(AdoSimTest, NamesAreFoundWithoutRegardToCaseAndUnknownOnesAreRefused) {
    EXPECT_EQ(IdOf(connection.get(), L"execute"), IdOf(connection.get(), L"EXECUTE"));
    auto* name = const_cast<LPOLESTR>(L"Open");
    DISPID id = 0;
    EXPECT_EQ(connection->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);
    // A property is not a method.
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_METHOD).hr, DISP_E_MEMBERNOTFOUND);
}

TEST_F(AdoSimTest, FieldsFollowTheCurrentRowWithAdoValueTypes) {
    ComPtr<IDispatch> rs = Execute(L"select * from T order by Name");
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    ComPtr<IDispatch> name = Object(fields.get(), L"Item", Args(L"name"));
    ComPtr<IDispatch> n = Object(fields.get(), L"Item", Args(L"N"));
    std::vector<Variant> second;
    second.push_back(Variant::Int(2));
    ComPtr<IDispatch> r = Object(fields.get(), L"Item", std::move(second));
    ComPtr<IDispatch> blank = Object(fields.get(), L"Item", Args(L"Blank"));

    auto value = [](IDispatch* field) { return std::move(Call(field, L"Value", DISPATCH_PROPERTYGET).result); };
    Variant v = value(name.get());
    ASSERT_EQ(v.type(), VT_BSTR);
    EXPECT_EQ(std::wstring(v.get().bstrVal), L"Ab\u00E9");
    v = value(n.get());
    ASSERT_EQ(v.type(), VT_I4);
    EXPECT_EQ(v.get().lVal, 7);
    v = value(r.get());
    ASSERT_EQ(v.type(), VT_R8);
    EXPECT_EQ(v.get().dblVal, 1.5);
    EXPECT_EQ(value(blank.get()).type(), VT_NULL);
    Outcome count = Call(fields.get(), L"Count", DISPATCH_PROPERTYGET);
    EXPECT_EQ(count.result.get().lVal, 4);

    EXPECT_EQ(Call(rs.get(), L"MoveNext", DISPATCH_METHOD).hr, S_OK);
    v = value(n.get());  // the same Field object, now on the second row
    ASSERT_EQ(v.type(), VT_I8);
    EXPECT_EQ(v.get().llVal, 5000000000LL);
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET).result.get().boolVal, VARIANT_FALSE);
    Call(rs.get(), L"MoveNext", DISPATCH_METHOD);
    EXPECT_EQ(Call(rs.get(), L"EOF", DISPATCH_PROPERTYGET).result.get().boolVal, VARIANT_TRUE);

    Outcome past = Call(rs.get(), L"MoveNext", DISPATCH_METHOD);
    EXPECT_EQ(past.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(past.scode, adosim::kNoCurrentRecord);
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).scode, adosim::kNoCurrentRecord);

    EXPECT_EQ(Call(rs.get(), L"Close", DISPATCH_METHOD).hr, S_OK);
    EXPECT_EQ(Call(rs.get(), L"State", DISPATCH_PROPERTYGET).result.get().lVal, 0);
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).scode, adosim::kObjectClosed);
    EXPECT_EQ(Call(rs.get(), L"Close", DISPATCH_METHOD).scode, adosim::kObjectClosed);
}

TEST_F(AdoSimTest, FailuresComeAsExceptionsWithAdosCodesAndTexts) {
    ComPtr<IDispatch> rs = Execute(L"select * from T");
    ComPtr<IDispatch> fields = Object(rs.get(), L"Fields");
    Outcome missing = Call(fields.get(), L"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args(L"MainPrefix"));
    EXPECT_EQ(missing.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(missing.scode, static_cast<HRESULT>(0x800A0CC1));
    EXPECT_EQ(missing.description,
              "Item cannot be found in the collection corresponding to the requested name or ordinal.");
    std::vector<Variant> outOfRange;
    outOfRange.push_back(Variant::Int(4));
    EXPECT_EQ(Call(fields.get(), L"Item", DISPATCH_METHOD, std::move(outOfRange)).scode, adosim::kItemNotFound);

    Outcome noTable = Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select * from Nope"));
    EXPECT_EQ(noTable.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(noTable.scode, adosim::kNoTable);
    EXPECT_EQ(noTable.description, "no such table: Nope");
    Outcome syntax = Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select from"));
    EXPECT_EQ(syntax.scode, adosim::kErrorsInCommand);
    EXPECT_EQ(Call(connection.get(), L"Execute", DISPATCH_METHOD).hr, DISP_E_BADPARAMCOUNT);
}

TEST_F(AdoSimTest, StatementsWithoutRowsGiveAClosedRecordsetAndTheCount) {
    Variant affected;
    std::vector<Variant> args = Args(L"update T set N = N + 1");
    args.push_back(Variant());
    args.back().put()->vt = VT_BYREF | VT_VARIANT;
    args.back().get().pvarVal = &affected.get();
    Outcome update = Call(connection.get(), L"Execute", DISPATCH_METHOD, std::move(args));
    ASSERT_EQ(update.hr, S_OK) << update.description;
    EXPECT_EQ(affected.get().lVal, 2);
    ComPtr<IDispatch> closed = ComPtr<IDispatch>::Retain(update.result.get().pdispVal);
    EXPECT_EQ(Call(closed.get(), L"State", DISPATCH_PROPERTYGET).result.get().lVal, 0);
    EXPECT_EQ(Call(closed.get(), L"EOF", DISPATCH_PROPERTYGET).scode, adosim::kObjectClosed);

    // A recordset outlives its connection's Close.
    ComPtr<IDispatch> rs = Execute(L"select N from T order by N");
    EXPECT_EQ(Call(connection.get(), L"Close", DISPATCH_METHOD).hr, S_OK);
    EXPECT_EQ(adosim::DatabaseOf(connection.get()), nullptr);
    EXPECT_EQ(Call(connection.get(), L"Execute", DISPATCH_METHOD, Args(L"select 1")).scode, adosim::kObjectClosed);
    ComPtr<IDispatch> n = Object(Object(rs.get(), L"Fields").get(), L"Item", Args(L"N"));
    EXPECT_EQ(Call(n.get(), L"Value", DISPATCH_PROPERTYGET).result.get().lVal, 8);
}

}  // namespace
}  // namespace yol
